#include "platform/child_process.h"

namespace platform {

std::optional<std::string> ChildProcess::takeLine(std::string& buffered) {
  const std::size_t end = buffered.find('\n');
  if (end == std::string::npos) return std::nullopt;
  std::string line = buffered.substr(0, end);
  buffered.erase(0, end + 1);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace platform
