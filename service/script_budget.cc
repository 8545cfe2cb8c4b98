#include "script_budget.h"

#include <duktape.h>

#include <cstdlib>

#include "stop_control.h"

namespace dravont_service {

namespace {

// Every block carries its size in front of it, so frees and reallocations
// can be counted against the budget.
constexpr std::size_t kHeaderSize = alignof(std::max_align_t);

// The clock is read on every this many allocations: often enough for a
// budget of milliseconds, rare enough to cost nothing next to the allocations.
constexpr unsigned kAllocationsPerClockCheck = 64;

std::size_t& sizeOf(void* block) { return *reinterpret_cast<std::size_t*>(static_cast<char*>(block) - kHeaderSize); }

}  // namespace

void ScriptBudget::begin() {
  running_ = true;
  exceeded_ = Exceeded::kNothing;
  deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits_.timeMilliseconds);
  untilClockCheck_ = kAllocationsPerClockCheck;
}

bool ScriptBudget::inTime() { return checkTime(true); }

bool ScriptBudget::checkTime(bool readClock) {
  if (!running_) return true;
  if (exceeded_ == Exceeded::kTime || exceeded_ == Exceeded::kStop) return false;
  if (limits_.stop != nullptr && limits_.stop->stopping()) {
    exceeded_ = Exceeded::kStop;
    return false;
  }
  if (readClock && std::chrono::steady_clock::now() >= deadline_) {
    exceeded_ = Exceeded::kTime;
    return false;
  }
  return true;
}

std::string ScriptBudget::exceededText() const {
  switch (exceeded_) {
    case Exceeded::kNothing: break;
    case Exceeded::kMemory: return "Script exceeded its memory budget of " + std::to_string(limits_.memoryBytes >> 20) + " MiB";
    case Exceeded::kTime:
      return "Script exceeded its time budget of " + std::to_string(limits_.timeMilliseconds) + " ms";
    case Exceeded::kStop: return "Script stopped: the service is stopping";
  }
  return "";
}

bool ScriptBudget::mayGrow(std::size_t growth) {
  const bool readClock = --untilClockCheck_ == 0;
  if (readClock) untilClockCheck_ = kAllocationsPerClockCheck;
  if (!checkTime(readClock)) return false;
  if (growth > limits_.memoryBytes - used_) {
    if (exceeded_ == Exceeded::kNothing) exceeded_ = Exceeded::kMemory;
    return false;
  }
  return true;
}

void* ScriptBudget::allocate(void* udata, std::size_t size) {
  auto* budget = static_cast<ScriptBudget*>(udata);
  if (!budget->mayGrow(size)) return nullptr;
  void* raw = std::malloc(kHeaderSize + size);
  if (raw == nullptr) return nullptr;
  void* block = static_cast<char*>(raw) + kHeaderSize;
  sizeOf(block) = size;
  budget->used_ += size;
  return block;
}

void ScriptBudget::release(void* udata, void* block) {
  if (block == nullptr) return;
  auto* budget = static_cast<ScriptBudget*>(udata);
  budget->used_ -= sizeOf(block);
  std::free(static_cast<char*>(block) - kHeaderSize);
}

void* ScriptBudget::reallocate(void* udata, void* block, std::size_t size) {
  if (block == nullptr) return allocate(udata, size);
  if (size == 0) {
    release(udata, block);
    return nullptr;
  }
  auto* budget = static_cast<ScriptBudget*>(udata);
  const std::size_t old = sizeOf(block);
  if (size > old && !budget->mayGrow(size - old)) return nullptr;
  void* raw = std::realloc(static_cast<char*>(block) - kHeaderSize, kHeaderSize + size);
  if (raw == nullptr) return nullptr;
  void* moved = static_cast<char*>(raw) + kHeaderSize;
  sizeOf(moved) = size;
  budget->used_ = budget->used_ - old + size;
  return moved;
}

ScriptBudget& ScriptBudget::of(duk_hthread* context) {
  duk_memory_functions functions;
  duk_get_memory_functions(context, &functions);
  return *static_cast<ScriptBudget*>(functions.udata);
}

}  // namespace dravont_service
