// A manual-reset event: once set it stays set, releasing every waiter, until
// reset. Waits are measured on a steady clock. Thread-safe.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

class ManualResetEvent {
 public:
  void set() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      signalled_ = true;
    }
    changed_.notify_all();
  }

  void reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
  }

  bool isSet() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return signalled_;
  }

  // Waits until the event is set or `milliseconds` have passed. Returns true
  // iff the event is set.
  bool waitFor(unsigned milliseconds) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return signalled_; });
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool signalled_ = false;
};

}  // namespace platform
