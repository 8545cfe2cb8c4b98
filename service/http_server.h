// The HTTP/1.1 front end: 127.0.0.1 only, POST /RPC2, keep-alive, one thread
// per connection (a connection beyond the limit, or one no thread can be
// started for, is closed at once and logged). The request framing is the
// service's own (http_request.h); each answer leaves in one write on a TCP_NODELAY
// socket (an answer split over several writes would wait for delayed
// acknowledgements). Malformed HTTP gets an HTTP error answer; a request that
// has not arrived whole within the read time-out is given up; one that would
// cost more memory than allowed is answered with a fault before it is read
// or parsed. Thread-safe: stop() may be called from any thread.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace dravont_service {

struct HttpAnswer {
  std::string body;
  bool drop = false;  // close the connection instead of answering
};

struct HttpServerOptions {
  int readTimeoutMilliseconds = 10000;  // a request must arrive whole within this
  int idleTimeoutSeconds = 300;         // a connection without requests is closed after this
  // Connections beyond this many are closed at once and logged. Each client
  // thread of a gateway holds one; a few gateways need a few dozen.
  std::size_t maxConnections = 256;
  // The memory one request may cost. A longer body is skipped unread; one
  // holding more XML-RPC values is not parsed (each value costs up to about
  // 150 bytes on top of the body). Both are answered with a fault saying so.
  // A gateway sends a file of tens of MiB in one request, base64-encoded.
  std::size_t maxRequestBytes = 128u << 20;
  std::size_t maxRequestValues = 100000;
};

class HttpServer {
 public:
  using Handler = std::function<HttpAnswer(std::string_view body)>;

  HttpServer(Handler handler, HttpServerOptions options);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Listens on 127.0.0.1:`port` (0 picks a free port). Returns "" or a text
  // saying why it cannot.
  std::string listen(int port);
  int port() const { return port_; }
  // Serves until stop(); returns when every connection has ended.
  void run();
  void stop();

  class Implementation;

 private:
  std::unique_ptr<Implementation> implementation_;
  int port_ = 0;
};

}  // namespace dravont_service
