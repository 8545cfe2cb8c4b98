// Failures injected on purpose (only with --test-hooks): "test.inject"
// (method, count, mode, text) makes the next `count` calls of a method fail;
// mode "error" answers `text` as the method's error text, "fault" answers an
// XML-RPC fault, "drop" closes the connection without an answer.
// "test.reset" clears every injection. Thread-safe.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace dravont_service {

enum class InjectedFailure { kError, kFault, kDrop };

struct Injection {
  InjectedFailure failure = InjectedFailure::kError;
  std::string text;
};

class TestHooks {
 public:
  // Returns "" or why the request is refused (an unknown mode, a count
  // below 1).
  std::string inject(const std::string& method, int count, const std::string& mode, const std::string& text);
  void reset();
  // Uses up one injected failure of `method`, if any is left.
  std::optional<Injection> take(const std::string& method);

 private:
  struct Pending {
    Injection injection;
    int remaining = 0;
  };
  std::mutex mutex_;
  std::map<std::string, Pending> pending_;
};

}  // namespace dravont_service
