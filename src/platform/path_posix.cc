#include "platform/path.h"

#include <unistd.h>

#include <cerrno>

#include "platform/path_parts.h"

namespace platform {

bool isRelativePath(std::string_view path) { return path.empty() || path.front() != '/'; }

std::string joinPath(std::string_view directory, std::string_view path) {
  if (!isRelativePath(path) || directory.empty()) return std::string(path);
  std::string joined(directory);
  while (joined.size() > 1 && joined.back() == '/') joined.pop_back();
  if (joined.back() != '/') joined.push_back('/');
  std::size_t start = 0;
  while (start < path.size() && path[start] == '/') ++start;
  joined.append(path.substr(start));
  return joined;
}

std::optional<std::string> canonicalizePath(std::string_view path) {
  const bool absolute = !isRelativePath(path);
  std::string result = joinedParts(absolute ? "/" : "", resolvedParts(path, '/', absolute), '/');
  if (result.empty()) return std::string(1, '.');
  if (result.size() + 1 > kMaxPath) return std::nullopt;
  return result;
}

std::string directoryName(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return std::string();
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::string baseName(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool isPathSeparator(char c) { return c == '/'; }

std::string directoryPrefix(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1));
}

std::size_t rootLength(std::string_view path) { return !path.empty() && path[0] == '/' ? 1 : 0; }

std::string withTrailingSeparator(std::string_view directory) {
  std::string result(directory);
  if (!result.empty() && result.back() != '/' && result.back() != '\\') result.push_back('/');
  return result;
}

std::optional<std::string> currentDirectory() {
  std::string buffer(kMaxPath, '\0');
  if (::getcwd(buffer.data(), buffer.size()) == nullptr) return std::nullopt;
  buffer.resize(buffer.find('\0'));
  return buffer;
}

int setCurrentDirectory(const std::string& directory) { return ::chdir(directory.c_str()) == 0 ? 0 : errno; }

std::optional<std::string> executablePath() {
  std::string buffer(kMaxPath, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return std::nullopt;
  buffer.resize(static_cast<std::size_t>(length));
  return buffer;
}

}  // namespace platform
