#include "context_numbers.h"

#include <cerrno>
#include <climits>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/file.h"
#include "qnsys/ini_file.h"

namespace dravont_service {

std::string ContextNumbers::open() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string text;
  const int error = platform::readWholeFile(path_, text);
  if (error != 0 && error != ENOENT) return "cannot read " + path_ + ": " + std::generic_category().message(error);
  const qnsys::IniFile ini = qnsys::IniFile::parse(text);
  const std::string* reserved = ini.find("contexts", "reserved");
  next_ = reserved ? qnsys::parseProfileInt(*reserved) : 0;
  if (next_ < 1) next_ = 1;
  blockEnd_ = next_;
  return reserve();
}

std::string ContextNumbers::reserve() {
  long long end = next_ + kBlockSize;
  if (end > INT_MAX) {  // after two billion numbers start over; old clients are long gone
    next_ = 1;
    end = 1 + kBlockSize;
  }
  const std::string text = "; context numbers of dravont-service reserved up to here\n[contexts]\nreserved=" +
                           std::to_string(end) + "\n";
  if (int error = platform::replaceFileAtomically(path_, text)) {
    return "cannot write " + path_ + ": " + std::generic_category().message(error);
  }
  blockEnd_ = end;
  return "";
}

int ContextNumbers::next(std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (next_ >= blockEnd_) {
    error = reserve();
    if (!error.empty()) return 0;
  }
  return static_cast<int>(next_++);
}

}  // namespace dravont_service
