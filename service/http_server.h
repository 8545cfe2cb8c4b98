// The HTTP/1.1 front end: 127.0.0.1 only, POST /RPC2, keep-alive, one thread
// per connection (a connection no thread can be started for is closed at once
// and logged). Request framing comes from the HTTP server library; each
// answer leaves in one write on a TCP_NODELAY socket (an answer split over
// several writes would wait for delayed acknowledgements). Malformed HTTP gets
// an HTTP error answer; a request that has not arrived whole within the read
// time-out is given up. Thread-safe: stop() may be called from any thread.
#pragma once

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
