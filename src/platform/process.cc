#include "platform/process.h"

#include <cctype>

namespace platform {

std::string versionFromFileName(const std::string& path) {
  const std::size_t marker = path.rfind(".so.");
  if (marker == std::string::npos) return "0.0.0.0";
  std::vector<std::string> parts;
  std::string current;
  for (std::size_t i = marker + 4; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '.') {
      if (current.empty()) return "0.0.0.0";
      parts.push_back(current);
      current.clear();
    } else if (std::isdigit(static_cast<unsigned char>(path[i]))) {
      current.push_back(path[i]);
    } else {
      return "0.0.0.0";
    }
  }
  while (parts.size() < 4) parts.push_back("0");
  parts.resize(4);
  return parts[0] + "." + parts[1] + "." + parts[2] + "." + parts[3];
}

}  // namespace platform
