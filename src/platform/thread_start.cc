#include "platform/thread_start.h"

#include <atomic>
#include <system_error>

namespace platform {

namespace {

std::atomic<int> failuresAhead{0};

}  // namespace

bool startThread(std::thread& thread, std::function<void()> body) {
  for (int left = failuresAhead.load(); left > 0;) {
    if (failuresAhead.compare_exchange_weak(left, left - 1)) return false;
  }
  try {
    thread = std::thread(std::move(body));
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

void failNextThreadStarts(int count) { failuresAhead.store(count); }

}  // namespace platform
