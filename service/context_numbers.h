// Context numbers that are never handed out twice for one store, not even
// across restarts: a client that still holds a context of an earlier run must
// be told its session is gone, not be served someone else's context. Numbers
// are reserved in blocks recorded in STORE/counters.ini before use, so a
// crash loses at most the rest of a block. Thread-safe.
#pragma once

#include <mutex>
#include <string>

#include "store_layout.h"

namespace dravont_service {

class ContextNumbers {
 public:
  static constexpr int kBlockSize = 1000;

  explicit ContextNumbers(const StoreLayout& layout) : path_(layout.file("counters.ini")) {}

  // Reserves the first block. Returns "" or the reason it failed.
  std::string open();
  // The next number (positive); 0 and sets `error` when no block can be
  // reserved.
  int next(std::string& error);

 private:
  std::string reserve();

  std::string path_;
  std::mutex mutex_;
  long long next_ = 0;
  long long blockEnd_ = 0;
};

}  // namespace dravont_service
