#include "digest_pipeline.h"

#include <algorithm>
#include <cstring>

#include "platform/thread_start.h"
#include "provider_failure.h"

namespace vcert {

DigestPipeline::DigestPipeline(ContentDigests& digests) : digests_(digests) {
  buffers_.resize(kBufferCount, std::vector<std::uint8_t>(kBufferSize));
  for (std::size_t i = 0; i < kBufferCount; ++i) free_.push_back(i);
  threaded_ = platform::startThread(worker_, [this] { work(); });
  if (!threaded_) buffers_.clear();
}

DigestPipeline::~DigestPipeline() {
  if (!threaded_) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void DigestPipeline::update(const std::uint8_t* data, std::size_t size) {
  if (!threaded_) {
    digests_.update(data, size);
    return;
  }
  while (size > 0) {
    if (filling_ == kNone) {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !free_.empty(); });
      filling_ = free_.back();
      free_.pop_back();
      filled_ = 0;
    }
    const std::size_t count = std::min(size, kBufferSize - filled_);
    std::memcpy(buffers_[filling_].data() + filled_, data, count);
    filled_ += count;
    data += count;
    size -= count;
    if (filled_ == kBufferSize) handOver();
  }
}

void DigestPipeline::finish() {
  if (!threaded_) return;
  if (filling_ != kNone) handOver();
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return ready_.empty() && !digesting_; });
  if (failed_) raiseFailure(ErrorKind::kInternal, "cannot digest the content");
}

void DigestPipeline::handOver() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ready_.emplace_back(filling_, filled_);
  }
  filling_ = kNone;
  changed_.notify_all();
}

void DigestPipeline::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !ready_.empty(); });
    if (stopping_) return;
    const auto [buffer, bytes] = ready_.front();
    ready_.pop_front();
    digesting_ = true;
    const bool skip = failed_;
    lock.unlock();
    bool failed = false;
    if (!skip) {
      try {
        digests_.update(buffers_[buffer].data(), bytes);
      } catch (...) {
        failed = true;  // its lines went to this thread's queue; finish() reports it
      }
    }
    lock.lock();
    failed_ = failed_ || failed;
    digesting_ = false;
    free_.push_back(buffer);
    changed_.notify_all();
  }
}

}  // namespace vcert
