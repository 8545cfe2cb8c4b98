// The pieces under the HTTP front end: a stream over one accepted socket that
// collects an answer and sends it in one piece, and the threads that serve
// connections, one each. Internal to http_server.cc; one connection's stream
// is used by its one thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace dravont_service {

class BufferedSocketStream {
 public:
  BufferedSocketStream(int socket, int readTimeoutMilliseconds);

  // Reads up to `size` bytes of the current request: the bytes read, 0 at
  // the end of the stream, -1 on failure, once the read time-out has passed
  // or once the request's allowance (below) is used up.
  long read(char* ptr, std::size_t size);
  // Reads one line of the request's head, without its LF or CR LF. False
  // when read() fails or the stream ends first.
  bool readLine(std::string& line);
  // Adds `text` to the answer waiting to be sent.
  void write(std::string_view text) { output_.append(text); }

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

 private:
  // One receive, repeated after each receive time-out until data, the end of
  // the stream, an error, `deadline` or a stop; -1 for the last three.
  long receive(char* buffer, std::size_t size, std::chrono::steady_clock::time_point deadline,
               const std::atomic<bool>* stopping);

  void startRequest();
  long readBuffered(char* ptr, std::size_t size);

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
// Used by the accepting thread alone.
class ThreadPerConnection {
 public:
  explicit ThreadPerConnection(std::size_t maxConnections) : maxConnections_(maxConnections) {}
  ~ThreadPerConnection() { joinAll(); }
  ThreadPerConnection(const ThreadPerConnection&) = delete;
  ThreadPerConnection& operator=(const ThreadPerConnection&) = delete;

  // Runs `serve` on a thread of its own. When the limit is reached, or no
  // thread can be started, returns false with `refusal` saying why, and
  // `serve` is not run.
  bool start(std::function<void()> serve, std::string& refusal);
  // Waits for every connection's thread to end.
  void joinAll();

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  void joinFinished();

  std::size_t maxConnections_;
  std::list<Worker> workers_;  // one per connection being served
};

}  // namespace dravont_service
