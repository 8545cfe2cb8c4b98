// What an orderly stop of the service needs to know while calls are under
// way. A stop is requested once; scripts look at stopping() and fail at
// their next check. Calls mark the stretch in which they do work the stop
// must wait for (AtWork, taken once a call holds its context); a script run
// is left out of it (Paused), since a script that loops without end would
// hold the stop forever, and so is waiting for a context such a script
// holds. Thread-safe.
#pragma once

#include <atomic>

namespace dravont_service {

class StopControl {
 public:
  void requestStop() { stopping_.store(true); }
  bool stopping() const { return stopping_.load(std::memory_order_relaxed); }
  int callsAtWork() const { return atWork_.load(); }

  class AtWork {
   public:
    explicit AtWork(StopControl& control) : control_(control) { ++control_.atWork_; }
    ~AtWork() { --control_.atWork_; }
    AtWork(const AtWork&) = delete;
    AtWork& operator=(const AtWork&) = delete;

   private:
    StopControl& control_;
  };

  // Inside an AtWork stretch: the part the stop does not wait for.
  class Paused {
   public:
    explicit Paused(StopControl* control) : control_(control) {
      if (control_ != nullptr) --control_->atWork_;
    }
    ~Paused() {
      if (control_ != nullptr) ++control_->atWork_;
    }
    Paused(const Paused&) = delete;
    Paused& operator=(const Paused&) = delete;

   private:
    StopControl* control_;
  };

 private:
  std::atomic<bool> stopping_{false};
  std::atomic<int> atWork_{0};
};

}  // namespace dravont_service
