#include "http_server.h"

#include <atomic>
#include <system_error>

#include "http_connection.h"
#include "platform/file.h"
#include "platform/socket.h"

namespace dravont_service {

namespace {

constexpr char kRpcPath[] = "/RPC2";
constexpr std::size_t kMaxRequestBytes = 256u << 20;

// What the request handler tells the connection loop it runs under.
struct ConnectionControl {
  bool drop = false;
};
thread_local ConnectionControl* currentConnection = nullptr;

}  // namespace

// The library's server with our own connection loop: it keeps each answer
// in a buffer until the request is handled, then sends it in one write.
class HttpServer::Implementation final : public httplib::Server {
 public:
  Implementation(HttpServer::Handler handler, HttpServerOptions options) : options_(options) {
    new_task_queue = [] { return new ThreadPerConnection; };
    set_payload_max_length(kMaxRequestBytes);
    set_keep_alive_timeout(options.idleTimeoutSeconds);
    set_keep_alive_max_count(1000000);  // announced only: the loop below keeps a connection while it is used
    Post(kRpcPath, [handler = std::move(handler)](const httplib::Request& request, httplib::Response& response) {
      HttpAnswer answer = handler(request.body);
      if (answer.drop && currentConnection != nullptr) currentConnection->drop = true;
      response.set_content(std::move(answer.body), "text/xml");
    });
  }

  void adopt(int listeningSocket) {
    listeningSocket_ = listeningSocket;
    svr_sock_ = listeningSocket;
  }

  void serve() {
    if (!stopping_.load()) listen_after_bind();
  }

  void stop() {
    if (stopping_.exchange(true)) return;
    // Wakes the accepting thread; the library closes the socket as it leaves.
    if (listeningSocket_ >= 0) platform::shutdownSocket(listeningSocket_);
  }

 private:
  bool process_and_close_socket(::socket_t socket) override {
    if (const std::string& refusal = ThreadPerConnection::refusal(); !refusal.empty()) {
      platform::writeStandardError("dravont-service: refused a connection: " + refusal + "\n");
      platform::closeSocket(socket);
      return false;
    }
    platform::setNoDelay(socket);
    BufferedSocketStream stream(socket, options_.readTimeoutMilliseconds);
    ConnectionControl control;
    currentConnection = &control;
    bool ok = true;
    while (stream.waitForRequest(options_.idleTimeoutSeconds, stopping_)) {
      bool closed = false;
      ok = process_request(stream, false, closed, nullptr);
      if (control.drop) break;  // injected: leave without an answer
      const bool success = stream.answerIsSuccess();
      if (!stream.flush() || !ok || closed || !success) break;
    }
    currentConnection = nullptr;
    platform::shutdownSocket(socket);
    platform::closeSocket(socket);
    return ok;
  }

  HttpServerOptions options_;
  std::atomic<bool> stopping_{false};
  int listeningSocket_ = -1;
};

HttpServer::HttpServer(Handler handler, HttpServerOptions options)
    : implementation_(std::make_unique<Implementation>(std::move(handler), options)) {}

HttpServer::~HttpServer() = default;

std::string HttpServer::listen(int port) {
  int chosen = port;
  const int socket = platform::listenOnLoopback(chosen, 128);
  if (socket < 0) {
    const int error = platform::lastSocketError();
    return "Can't listen on 127.0.0.1:" + std::to_string(port) + ": " + std::generic_category().message(error);
  }
  port_ = chosen;
  implementation_->adopt(socket);
  return "";
}

void HttpServer::run() { implementation_->serve(); }

void HttpServer::stop() { implementation_->stop(); }

}  // namespace dravont_service
