#include "http_connection.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "platform/socket_options.h"
#include "platform/thread_start.h"

namespace dravont_service {

namespace {

constexpr std::size_t kReceiveChunk = 64 * 1024;
constexpr int kStopCheckMilliseconds = 200;

}  // namespace

BufferedSocketStream::BufferedSocketStream(int socket, int readTimeoutMilliseconds)
    : socket_(socket), readTimeoutMilliseconds_(readTimeoutMilliseconds), input_(kReceiveChunk) {
  // Receives block (no poll before each one) but come back now and then, so
  // time-outs and a stop are noticed.
  platform::setReceiveTimeout(socket_, kStopCheckMilliseconds);
}

long BufferedSocketStream::receive(char* buffer, std::size_t size, std::chrono::steady_clock::time_point deadline,
                                   const std::atomic<bool>* stopping) {
  for (;;) {
    const long got = platform::receiveSome(socket_, buffer, size);
    if (got >= 0 || !platform::isTransientSocketError(platform::lastSocketError())) return got;
    if ((stopping != nullptr && stopping->load()) || std::chrono::steady_clock::now() >= deadline) return -1;
  }
}

void BufferedSocketStream::startRequest() {
  requestDeadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(readTimeoutMilliseconds_);
  requestBytesLeft_ = kHeadBytes;
}

void BufferedSocketStream::allowBody(std::uint64_t bytes) {
  constexpr std::uint64_t kAll = std::numeric_limits<std::uint64_t>::max();
  requestBytesLeft_ = bytes > kAll - requestBytesLeft_ ? kAll : requestBytesLeft_ + bytes;
}

long BufferedSocketStream::read(char* ptr, std::size_t size) {
  if (requestBytesLeft_ == 0) return -1;
  size = static_cast<std::size_t>(std::min<std::uint64_t>(size, requestBytesLeft_));
  const long got = readBuffered(ptr, size);
  if (got > 0) requestBytesLeft_ -= static_cast<std::uint64_t>(got);
  return got;
}

long BufferedSocketStream::readBuffered(char* ptr, std::size_t size) {
  if (inputUsed_ == inputFilled_) {
    inputUsed_ = inputFilled_ = 0;
    // The whole request must come within the read time-out: a client that
    // keeps sending a byte now and then gets no more time than one that stalls.
    if (std::chrono::steady_clock::now() >= requestDeadline_) return -1;
    if (size >= input_.size()) return receive(ptr, size, requestDeadline_, nullptr);  // large: no copy
    const long got = receive(input_.data(), input_.size(), requestDeadline_, nullptr);
    if (got <= 0) return got;
    inputFilled_ = static_cast<std::size_t>(got);
  }
  const std::size_t count = std::min(size, inputFilled_ - inputUsed_);
  std::memcpy(ptr, input_.data() + inputUsed_, count);
  inputUsed_ += count;
  return static_cast<long>(count);
}

bool BufferedSocketStream::readLine(std::string& line) {
  line.clear();
  for (;;) {
    char c;
    if (read(&c, 1) != 1) return false;
    if (c == '\n') break;
    line.push_back(c);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool BufferedSocketStream::waitForRequest(int idleSeconds, const std::atomic<bool>& stopping) {
  if (inputUsed_ == inputFilled_) {  // else a pipelined request is already here
    inputUsed_ = inputFilled_ = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(idleSeconds);
    const long got = receive(input_.data(), input_.size(), deadline, &stopping);
    if (got <= 0) return false;
    inputFilled_ = static_cast<std::size_t>(got);
  }
  startRequest();
  return true;
}

bool BufferedSocketStream::flush() {
  std::size_t sent = 0;
  while (sent < output_.size()) {
    const long n = platform::sendSome(socket_, output_.data() + sent, output_.size() - sent);
    if (n <= 0) {
      if (n < 0 && platform::lastSocketError() == platform::kInterruptedError) continue;
      output_.clear();
      return false;
    }
    sent += static_cast<std::size_t>(n);
  }
  output_.clear();
  return true;
}

bool ThreadPerConnection::start(std::function<void()> serve, std::string& refusal) {
  joinFinished();
  if (workers_.size() >= maxConnections_) {
    refusal = "the limit of " + std::to_string(maxConnections_) + " open connections is reached";
    return false;
  }
  auto done = std::make_shared<std::atomic<bool>>(false);
  std::thread thread;
  if (!platform::startThread(thread, [serve = std::move(serve), done] {
        serve();
        done->store(true);
      })) {
    // Served on the accepting thread, it would keep every later connection waiting.
    refusal = "no thread can be started for it";
    return false;
  }
  workers_.push_back({std::move(thread), done});
  return true;
}

void ThreadPerConnection::joinFinished() {
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (it->done->load()) {
      it->thread.join();
      it = workers_.erase(it);
    } else {
      ++it;
    }
  }
}

void ThreadPerConnection::joinAll() {
  for (Worker& worker : workers_) worker.thread.join();
  workers_.clear();
}

}  // namespace dravont_service
