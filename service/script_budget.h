// The budgets a script runs under, kept by its heap's allocator.
//
// Memory: the allocator refuses to go beyond a cap.
// Time: the script engine has no hook that interrupts a running script, so
// the clock is looked at where the engine calls into the service: on
// allocations (most operations allocate: objects, strings, closures, calls
// that grow the stack) and at the start of every native function of the
// script environment. Once the time is up, or the service stops, every
// allocation that would grow the heap is refused and every native throws, so
// the script fails with an error. A loop that neither allocates nor calls a
// native (`for(;;){}`) is checked by nothing; it runs until the service
// stops.
//
// Not synchronised: the owning heap's context serialises use; the stop
// request comes through StopControl, which is thread-safe.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

struct duk_hthread;

namespace dravont_service {

class StopControl;

struct ScriptLimits {
  std::size_t memoryBytes = 32u << 20;
  int timeMilliseconds = 10000;
  StopControl* stop = nullptr;  // optional
};

class ScriptBudget {
 public:
  enum class Exceeded { kNothing, kMemory, kTime, kStop };

  explicit ScriptBudget(const ScriptLimits& limits) : limits_(limits) {}

  // The time budget applies between begin() and end(); begin() starts the
  // clock and forgets what an earlier script exceeded.
  void begin();
  void end() { running_ = false; }

  // False, and remembers why, once the running script is out of time or the
  // service stops.
  bool inTime();
  Exceeded exceeded() const { return exceeded_; }
  // What the script exceeded, as its error text ("" for kNothing).
  std::string exceededText() const;
  std::size_t bytesInUse() const { return used_; }
  const ScriptLimits& limits() const { return limits_; }

  // The heap's allocation functions; `udata` is the ScriptBudget.
  static void* allocate(void* udata, std::size_t size);
  static void* reallocate(void* udata, void* block, std::size_t size);
  static void release(void* udata, void* block);
  // The budget of a heap built with these functions.
  static ScriptBudget& of(duk_hthread* context);

 private:
  bool checkTime(bool readClock);
  bool mayGrow(std::size_t growth);

  const ScriptLimits limits_;
  std::size_t used_ = 0;
  bool running_ = false;
  std::chrono::steady_clock::time_point deadline_;
  unsigned untilClockCheck_ = 0;
  Exceeded exceeded_ = Exceeded::kNothing;
};

}  // namespace dravont_service
