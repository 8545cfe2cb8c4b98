// The pieces under the HTTP front end: a stream over one accepted socket that
// collects an answer and sends it in one piece, and a task queue that gives
// each connection a thread of its own. Internal to http_server.cc; one
// connection's stream is used by its one thread.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace dravont_service {

class BufferedSocketStream final : public httplib::Stream {
 public:
  BufferedSocketStream(int socket, int readTimeoutMilliseconds);

  bool is_readable() const override;
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override;
  ssize_t write(const char* ptr, size_t size) override;
  void get_remote_ip_and_port(std::string& ip, int& port) const override;
  void get_local_ip_and_port(std::string& ip, int& port) const override;
  ::socket_t socket() const override { return socket_; }

  // Waits up to `idleSeconds` for the next request's first bytes, looking at
  // `stopping` a few times a second. False on time-out or stop. On true, the
  // request's read time-out starts: reads fail once it has passed, however
  // steadily bytes come. So do reads beyond kHeadBytes plus what allowBody()
  // adds: a request line or header without end costs no more than that.
  bool waitForRequest(int idleSeconds, const std::atomic<bool>& stopping);
  // Lets the current request read `bytes` more, for its body.
  void allowBody(std::uint64_t bytes);
  static constexpr std::uint64_t kHeadBytes = 64 * 1024;
  // Sends what was written since the last flush, in one piece.
  bool flush();
  void discardOutput() { output_.clear(); }
  // True when the answer waiting to be sent is a "200 OK": anything else
  // answers a request the connection cannot go on after.
  bool answerIsSuccess() const { return output_.starts_with("HTTP/1.1 200 "); }

 private:
  // One receive, repeated after each receive time-out until data, the end of
  // the stream, an error, `deadline` or a stop; -1 for the last three.
  long receive(char* buffer, std::size_t size, std::chrono::steady_clock::time_point deadline,
               const std::atomic<bool>* stopping);

  void startRequest();
  ssize_t readBuffered(char* ptr, size_t size);

  int socket_;
  int readTimeoutMilliseconds_;
  std::chrono::steady_clock::time_point requestDeadline_;
  std::uint64_t requestBytesLeft_ = 0;
  std::vector<char> input_;  // received, not yet read: [inputUsed_, inputFilled_)
  std::size_t inputUsed_ = 0;
  std::size_t inputFilled_ = 0;
  std::string output_;
};

// Gives each connection a thread of its own, up to `maxConnections` at once.
// A connection beyond them, or one no thread can be started for, is refused.
// The library hands a connection over only as the task that serves it, so a
// refused connection's task runs on the accepting thread with refusal()
// saying why, and closes its socket instead of serving.
class ThreadPerConnection final : public httplib::TaskQueue {
 public:
  explicit ThreadPerConnection(std::size_t maxConnections) : maxConnections_(maxConnections) {}
  ~ThreadPerConnection() override { shutdown(); }
  void enqueue(std::function<void()> task) override;
  void shutdown() override;

  // Why the connection task running on this thread is refused; empty while
  // connections are served.
  static const std::string& refusal();

 private:
  static void refuse(const std::function<void()>& task, std::string reason);
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  void joinFinished();

  std::size_t maxConnections_;
  std::list<Worker> workers_;  // one per connection being served
};

}  // namespace dravont_service
