#include "platform/path.h"

#include <windows.h>

#include <cerrno>
#include <vector>

#include "platform/path_parts.h"
#include "platform/win32_file_calls.h"

namespace platform {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

// Written here rather than taken from the shell's path library, which
// loads the window manager's DLL into the process, and a process with it
// loaded is sent no log-off or shutdown event.
bool isRelativePath(std::string_view path) {
  if (path.empty()) return true;
  return !isSeparator(path[0]) && !(path.size() >= 2 && path[1] == ':');
}

std::string joinPath(std::string_view directory, std::string_view path) {
  if (!isRelativePath(path) || directory.empty()) return std::string(path);
  std::string joined(directory);
  // One separator stays, of whichever kind the directory ends with.
  while (joined.size() > 1 && isSeparator(joined.back()) && isSeparator(joined[joined.size() - 2])) joined.pop_back();
  if (!isSeparator(joined.back())) joined.push_back('\\');
  std::size_t start = 0;
  while (start < path.size() && isSeparator(path[start])) ++start;
  joined.append(path.substr(start));
  return joined;
}

std::optional<std::string> canonicalizePath(std::string_view path) {
  std::string text(path);
  for (char& c : text) c = c == '/' ? '\\' : c;
  // The root ("C:\", "\\server\share\", "\" or "C:") stays as it is;
  // ".." never climbs above it.
  const std::size_t root = rootLength(text);
  const PathParts parts = resolvedParts(std::string_view(text).substr(root), '\\', root > 0);
  std::string result = joinedParts(text.substr(0, root), parts, '\\');
  // A directory given with its trailing separator keeps it.
  if (!parts.names.empty() && text.size() > root && text.back() == '\\') result.push_back('\\');
  if (result.empty()) return std::string(1, '.');
  if (result.size() + 1 > kMaxPath) return std::nullopt;
  return result;
}

std::string directoryName(std::string_view path) {
  const std::size_t separator = path.find_last_of("\\/");
  if (separator == std::string_view::npos) return std::string();
  // "C:\x" -> "C:\", "\x" -> "\".
  if (separator == 0 || (separator == 2 && path[1] == ':')) return std::string(path.substr(0, separator + 1));
  return std::string(path.substr(0, separator));
}

std::string baseName(std::string_view path) {
  const std::size_t separator = path.find_last_of("\\/:");
  return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
}

bool isPathSeparator(char c) { return isSeparator(c); }

std::string directoryPrefix(std::string_view path) {
  const std::size_t separator = path.find_last_of("\\/:");
  return std::string(separator == std::string_view::npos ? std::string_view() : path.substr(0, separator + 1));
}

std::size_t rootLength(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':') return path.size() >= 3 && isSeparator(path[2]) ? 3 : 2;
  if (path.empty() || !isSeparator(path[0])) return 0;
  if (path.size() < 2 || !isSeparator(path[1])) return 1;
  // "\\server\share\": the server's and the share's names belong to the root.
  std::size_t end = 2;
  for (int part = 0; part < 2; ++part) {
    while (end < path.size() && !isSeparator(path[end])) ++end;
    if (end < path.size()) ++end;
  }
  return end;
}

std::string withTrailingSeparator(std::string_view directory) {
  std::string result(directory);
  if (!result.empty() && !isSeparator(result.back())) result.push_back('\\');
  return result;
}

std::optional<std::string> currentDirectory() {
  char buffer[kMaxPath];
  const DWORD length = ::GetCurrentDirectoryA(sizeof buffer, buffer);
  if (length == 0) {
    errno = win32::lastErrno();
    return std::nullopt;
  }
  if (length >= sizeof buffer) {
    errno = ERANGE;
    return std::nullopt;
  }
  return std::string(buffer, length);
}

int setCurrentDirectory(const std::string& directory) {
  return ::SetCurrentDirectoryA(directory.c_str()) ? 0 : win32::lastErrno();
}

std::optional<std::string> executablePath() {
  char buffer[512];
  const DWORD length = ::GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return std::nullopt;
  return std::string(buffer, length);
}

}  // namespace platform
