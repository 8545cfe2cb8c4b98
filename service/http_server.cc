#include "http_server.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "http_connection.h"
#include "http_request.h"
#include "method_call.h"
#include "platform/file.h"
#include "platform/socket.h"

namespace dravont_service {

namespace {

constexpr char kRpcPath[] = "/RPC2";
// The fault code of a request refused before its call is read.
constexpr int kFaultRequestRefused = -32300;
// How often the accepting thread looks for a stop while no one connects.
constexpr int kAcceptCheckMilliseconds = 100;
// How long the accepting thread pauses after a failed accept (out of
// descriptors, say), so that it does not spin.
constexpr auto kAcceptRetryPause = std::chrono::milliseconds(10);

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

// What becomes of the connection after a request.
enum class Next {
  kKeep,   // answered; the connection goes on
  kClose,  // answered (or unanswerable); the connection ends
  kDrop,   // injected: the connection ends without an answer
};

}  // namespace

class HttpServer::Implementation {
 public:
  Implementation(HttpServer::Handler handler, HttpServerOptions options)
      : handler_(std::move(handler)), options_(options), connections_(options.maxConnections) {}
  ~Implementation() { closeListeningSocket(); }

  void adopt(int listeningSocket) { listeningSocket_ = listeningSocket; }

  // Accepts connections until stop(), then waits for every connection's
  // thread to end.
  void serve() {
    while (!stopping_.load()) {
      std::vector<platform::PollEntry> entries{{listeningSocket_, platform::kPollReadable, 0}};
      if (platform::pollSockets(entries, kAcceptCheckMilliseconds) <= 0 || stopping_.load()) continue;
      const int socket = platform::acceptConnection(listeningSocket_);
      if (socket < 0) {
        std::this_thread::sleep_for(kAcceptRetryPause);
        continue;
      }
      std::string refusal;
      if (!connections_.start([this, socket] { serveConnection(socket); }, refusal)) {
        platform::writeStandardError("dravont-service: refused a connection: " + refusal + "\n");
        platform::closeSocket(socket);
      }
    }
    closeListeningSocket();
    connections_.joinAll();
  }

  void stop() {
    if (stopping_.exchange(true)) return;
    // Wakes the accepting thread at once where the system lets a shutdown
    // end a wait on a listening socket; elsewhere its next check sees the stop.
    std::lock_guard<std::mutex> lock(listeningMutex_);
    if (listeningSocket_ >= 0) platform::shutdownSocket(listeningSocket_);
  }

 private:
  void closeListeningSocket() {
    std::lock_guard<std::mutex> lock(listeningMutex_);
    if (listeningSocket_ >= 0) platform::closeSocket(listeningSocket_);
    listeningSocket_ = -1;
  }

  // Serves one connection's requests in turn; each answer leaves in one write.
  void serveConnection(int socket) {
    platform::setNoDelay(socket);
    BufferedSocketStream stream(socket, options_.readTimeoutMilliseconds);
    while (stream.waitForRequest(options_.idleTimeoutSeconds, stopping_)) {
      const Next next = serveRequest(stream);
      if (next == Next::kDrop || !stream.flush() || next == Next::kClose) break;
    }
    platform::shutdownSocket(socket);
    platform::closeSocket(socket);
  }

  // Reads one request and writes its answer into `stream`. Any answer but a
  // "200 OK" ends the connection.
  Next serveRequest(BufferedSocketStream& stream) {
    std::vector<std::string> lines;
    for (std::string line;;) {
      // A head that breaks off, comes too late or has no end gets no answer.
      if (!stream.readLine(line)) return Next::kClose;
      if (line.empty()) break;
      lines.push_back(std::move(line));
    }
    HttpRequestHead head;
    if (!parseRequestHead(lines, head)) return answer(stream, 400, "", false);
    if (head.target != kRpcPath || head.method != "POST") return answer(stream, 404, "", false);
    // A body without a stated length would have no bound.
    if (!head.hasContentLength || head.hasTransferEncoding) {
      return refuse(stream, 411, "The service takes a request only with a Content-Length");
    }
    if (head.expectsContinue) {
      stream.write("HTTP/1.1 100 Continue\r\n\r\n");
      if (!stream.flush()) return Next::kClose;
    }
    stream.allowBody(head.contentLength);  // to read it, or to skip it when too long
    if (head.contentLength > options_.maxRequestBytes) {
      // Read and dropped, so the client, still sending, gets to read the answer.
      if (!skip(stream, head.contentLength)) return Next::kClose;
      return refuse(stream, 413, "The request of " + std::to_string(head.contentLength) +
                                     " bytes exceeds the limit of " + std::to_string(options_.maxRequestBytes) +
                                     " bytes");
    }
    std::string body(static_cast<std::size_t>(head.contentLength), '\0');
    if (!readWhole(stream, body.data(), body.size())) return answer(stream, 400, "", false);  // broke off or came late
    if (countValues(body, options_.maxRequestValues) > options_.maxRequestValues) {
      const std::string fault = faultText(kFaultRequestRefused, "The request holds more than " +
                                                                    std::to_string(options_.maxRequestValues) +
                                                                    " values, the limit");
      return answer(stream, 200, fault, head.keepAlive);
    }
    HttpAnswer handled = handler_(body);
    if (handled.drop) return Next::kDrop;
    return answer(stream, 200, handled.body, head.keepAlive);
  }

  Next answer(BufferedSocketStream& stream, int status, std::string_view body, bool keepAlive) {
    keepAlive = keepAlive && status == 200;
    stream.write(answerText(status, body, keepAlive, options_.idleTimeoutSeconds));
    return keepAlive ? Next::kKeep : Next::kClose;
  }

  Next refuse(BufferedSocketStream& stream, int status, const std::string& text) {
    return answer(stream, status, faultText(kFaultRequestRefused, text), false);
  }

  static bool readWhole(BufferedSocketStream& stream, char* data, std::size_t size) {
    for (std::size_t done = 0; done < size;) {
      const long got = stream.read(data + done, size - done);
      if (got <= 0) return false;
      done += static_cast<std::size_t>(got);
    }
    return true;
  }

  static bool skip(BufferedSocketStream& stream, std::uint64_t size) {
    std::vector<char> scratch(64 * 1024);
    for (std::uint64_t left = size; left > 0;) {
      const long got = stream.read(scratch.data(), static_cast<std::size_t>(std::min<std::uint64_t>(left, scratch.size())));
      if (got <= 0) return false;
      left -= static_cast<std::uint64_t>(got);
    }
    return true;
  }

  HttpServer::Handler handler_;
  HttpServerOptions options_;
  ThreadPerConnection connections_;
  std::atomic<bool> stopping_{false};
  std::mutex listeningMutex_;
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
    // A socket error number: the system's own texts know it on either system.
    return "Can't listen on 127.0.0.1:" + std::to_string(port) + ": " + std::system_category().message(error);
  }
  port_ = chosen;
  implementation_->adopt(socket);
  return "";
}

void HttpServer::run() { implementation_->serve(); }

void HttpServer::stop() { implementation_->stop(); }

}  // namespace dravont_service
