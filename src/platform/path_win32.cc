#include "platform/path.h"

#include <windows.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "platform/path_parts.h"
#include "platform/win32_file_calls.h"
#include "platform/win32_text.h"

namespace platform {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// "C:foo": a drive without a separator after it, taken from that drive's
// current directory.
bool isDriveRelative(std::string_view path) {
  return path.size() >= 2 && path[1] == ':' && (path.size() == 2 || !isSeparator(path[2]));
}

// The system's own resolution of a path (a drive-relative one against its
// drive's current directory); the path itself when that fails.
std::string fullPathOf(std::string_view path) {
  const std::optional<std::wstring> wide = win32::wideText(CP_ACP, path);
  if (!wide) return std::string(path);
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetFullPathNameW(wide->c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) return std::string(path);
    if (length < buffer.size()) {
      bool exact = false;
      return win32::narrowText(CP_ACP, std::wstring(buffer.data(), length), exact).value_or(std::string(path));
    }
    buffer.resize(length);
  }
}

}  // namespace

// Written here rather than taken from the shell's path library, which
// loads the window manager's DLL into the process, and a process with it
// loaded is sent no log-off or shutdown event.
bool isRelativePath(std::string_view path) {
  if (path.empty()) return true;
  return !isSeparator(path[0]) && !(path.size() >= 2 && path[1] == ':' && !isDriveRelative(path));
}

std::string joinPath(std::string_view directory, std::string_view path) {
  // A drive-relative path names its drive's current directory, not
  // `directory`: the system resolves it.
  if (isDriveRelative(path)) return fullPathOf(path);
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
