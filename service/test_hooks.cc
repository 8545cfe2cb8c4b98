#include "test_hooks.h"

namespace dravont_service {

std::string TestHooks::inject(const std::string& method, int count, const std::string& mode, const std::string& text) {
  Pending pending;
  if (mode == "error") {
    pending.injection.failure = InjectedFailure::kError;
  } else if (mode == "fault") {
    pending.injection.failure = InjectedFailure::kFault;
  } else if (mode == "drop") {
    pending.injection.failure = InjectedFailure::kDrop;
  } else {
    return "Unknown injection mode \"" + mode + "\" (error, fault or drop)";
  }
  if (count < 1) return "The count of injected failures must be 1 or more";
  if (method.empty()) return "No method named";
  pending.injection.text = text;
  pending.remaining = count;
  std::lock_guard<std::mutex> lock(mutex_);
  pending_[method] = std::move(pending);
  return "";
}

void TestHooks::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  pending_.clear();
}

std::optional<Injection> TestHooks::take(const std::string& method) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto found = pending_.find(method);
  if (found == pending_.end()) return std::nullopt;
  Injection injection = found->second.injection;
  if (--found->second.remaining == 0) pending_.erase(found);
  return injection;
}

}  // namespace dravont_service
