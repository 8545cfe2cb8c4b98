// A TCP server on 127.0.0.1 (a free port) for tests that must control every
// byte a client receives. Connections are served one after another on a
// thread of the server's own, each by the session function the test gives.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace testing_support {

class ServerConnection {
 public:
  explicit ServerConnection(int socket) : socket_(socket) {}
  ~ServerConnection() { close(); }
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  // Reads one HTTP request: the header up to the blank line and as many body
  // bytes as its Content-length says. False at end of stream or on error.
  bool readRequest(std::string& request);
  // Sends all bytes (false when the peer has gone).
  bool send(std::string_view bytes);
  void close();

 private:
  int socket_;
  std::string pending_;  // bytes read beyond the previous request
};

class ScriptedServer {
 public:
  using Session = std::function<void(ServerConnection&)>;

  explicit ScriptedServer(Session session);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int port() const { return port_; }
  int connectionsAccepted() const { return accepted_.load(); }

 private:
  void serve();

  Session session_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> accepted_{0};
  std::thread thread_;
};

// Ends a thread blocked accepting on `listener` (127.0.0.1:`port`) once the
// owner has set its stop flag, and joins it. The listener stays open.
void stopAccepting(int listener, int port, std::thread& acceptor);

// The system's error number for a connection nobody accepts.
#if defined(_WIN32)
inline constexpr int kConnectionRefused = 10061;  // WSAECONNREFUSED
#else
inline constexpr int kConnectionRefused = 111;  // ECONNREFUSED
#endif

// "HTTP/1.1 200 OK" answer with a correct Content-length and the body.
std::string httpAnswer(std::string_view body);
// An XML-RPC methodResponse text carrying one value text as its parameter.
std::string methodResponse(std::string_view valueText);
// The body of an HTTP request text (after the blank line).
std::string requestBody(const std::string& request);

}  // namespace testing_support
