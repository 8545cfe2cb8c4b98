// Digests content on a thread of its own while the caller reads and writes
// it, so that a conversion takes about as long as the slower of the two
// rather than both together. The caller's pieces are copied into a few
// buffers of 1 MiB that the thread digests in order. When no thread can be
// started, pieces are digested on the caller's thread. Used by one thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "cms_check.h"

namespace vcert {

class DigestPipeline {
 public:
  explicit DigestPipeline(ContentDigests& digests);
  // Stops the thread; pieces not yet digested are dropped.
  ~DigestPipeline();
  DigestPipeline(const DigestPipeline&) = delete;
  DigestPipeline& operator=(const DigestPipeline&) = delete;

  void update(const std::uint8_t* data, std::size_t size);
  // Returns once every piece given is in the digests. Throws kInternal
  // when the back end failed to digest one.
  void finish();

 private:
  static constexpr std::size_t kBufferSize = 1 << 20;
  static constexpr std::size_t kBufferCount = 4;
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  void handOver();  // queues the buffer being filled
  void work();

  ContentDigests& digests_;
  std::vector<std::vector<std::uint8_t>> buffers_;
  std::size_t filling_ = kNone;  // the buffer being filled
  std::size_t filled_ = 0;       // bytes in it
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::pair<std::size_t, std::size_t>> ready_;  // buffer, bytes: to digest
  std::vector<std::size_t> free_;
  bool digesting_ = false;
  bool failed_ = false;
  bool stopping_ = false;
  bool threaded_ = false;
  std::thread worker_;
};

}  // namespace vcert
