#include "http_server.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

#include "http_connection.h"
#include "method_call.h"
#include "platform/file.h"
#include "platform/socket.h"

namespace dravont_service {

namespace {

constexpr char kRpcPath[] = "/RPC2";
// The fault code of a request refused before its call is read.
constexpr int kFaultRequestRefused = -32300;

// The connection a request handler runs under, and what it tells the
// connection loop.
struct ConnectionControl {
  BufferedSocketStream& stream;
  bool drop = false;
};
thread_local ConnectionControl* currentConnection = nullptr;

// The values `body` can parse into, counted up to `limit` + 1: each begins
// with "<value>", so the count bounds the value tree before it is built.
std::size_t countValues(std::string_view body, std::size_t limit) {
  constexpr std::string_view kValueTag = "<value>";
  std::size_t count = 0;
  for (std::size_t at = body.find(kValueTag); at != std::string_view::npos && count <= limit;
       at = body.find(kValueTag, at + kValueTag.size())) {
    ++count;
  }
  return count;
}

void refuseCall(httplib::Response& response, int status, const std::string& text) {
  response.status = status;
  response.set_content(faultText(kFaultRequestRefused, text), "text/xml");
}

}  // namespace

// The library's server with our own connection loop: it keeps each answer
// in a buffer until the request is handled, then sends it in one write.
class HttpServer::Implementation final : public httplib::Server {
 public:
  Implementation(HttpServer::Handler handler, HttpServerOptions options)
      : handler_(std::move(handler)), options_(options) {
    new_task_queue = [this] { return new ThreadPerConnection(options_.maxConnections); };
    set_payload_max_length(options.maxRequestBytes);  // a longer body is skipped unread, answered 413
    set_keep_alive_timeout(options.idleTimeoutSeconds);
    set_keep_alive_max_count(1000000);  // announced only: the loop below keeps a connection while it is used
    Post(kRpcPath, [this](const httplib::Request& request, httplib::Response& response,
                          const httplib::ContentReader& reader) { serveCall(request, response, reader); });
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
  // Reads the body of a call in one allocation and hands it to the handler,
  // unless it is longer or holds more values than allowed: the memory a
  // request costs is bounded before it is read or parsed.
  void serveCall(const httplib::Request& request, httplib::Response& response, const httplib::ContentReader& reader) {
    if (!request.has_header("Content-Length") || request.has_header("Transfer-Encoding")) {
      refuseCall(response, 411, "The service takes a request only with a Content-Length");
      return;
    }
    const auto length = request.get_header_value<std::uint64_t>("Content-Length");
    currentConnection->stream.allowBody(length);  // to read it, or to skip it when too long
    std::string body;
    if (length <= options_.maxRequestBytes) body.reserve(length);
    if (!reader([&body](const char* data, std::size_t size) {
          body.append(data, size);
          return true;
        })) {
      if (response.status == 413) {
        refuseCall(response, 413, "The request of " + std::to_string(length) + " bytes exceeds the limit of " +
                                      std::to_string(options_.maxRequestBytes) + " bytes");
      }
      return;  // else the body broke off or came too late: answered 400
    }
    if (countValues(body, options_.maxRequestValues) > options_.maxRequestValues) {
      refuseCall(response, 200, "The request holds more than " + std::to_string(options_.maxRequestValues) +
                                    " values, the limit");
      return;
    }
    HttpAnswer answer = handler_(body);
    if (answer.drop) currentConnection->drop = true;
    response.set_content(std::move(answer.body), "text/xml");
  }

  bool process_and_close_socket(::socket_t socket) override {
    if (const std::string& refusal = ThreadPerConnection::refusal(); !refusal.empty()) {
      platform::writeStandardError("dravont-service: refused a connection: " + refusal + "\n");
      platform::closeSocket(socket);
      return false;
    }
    platform::setNoDelay(socket);
    BufferedSocketStream stream(socket, options_.readTimeoutMilliseconds);
    ConnectionControl control{stream};
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

  HttpServer::Handler handler_;
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
