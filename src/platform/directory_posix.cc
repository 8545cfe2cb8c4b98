#include "platform/directory.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "platform/path.h"
#include "platform/posix_file_calls.h"
#include "text/ascii.h"

namespace platform {

namespace {


}  // namespace

bool wildcardMatch(std::string_view pattern, std::string_view name) {
  // Iterative matcher with one backtrack point: linear in practice and never
  // recursive, so hostile patterns cannot exhaust the stack.
  std::size_t p = 0, n = 0;
  std::size_t starPattern = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starPattern = p++;
      starName = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || text::asciiLower(pattern[p]) == text::asciiLower(name[n]))) {
      ++p;
      ++n;
    } else if (starPattern != std::string_view::npos) {
      p = starPattern + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

int scanDirectory(const std::string& directory, std::string_view pattern, std::vector<DirectoryEntry>& entries) {
  std::unique_ptr<DIR, int (*)(DIR*)> handle(posix::openDirectory(directory), ::closedir);
  if (!handle) return errno;
  for (;;) {
    errno = 0;
    const dirent* raw = ::readdir(handle.get());
    if (raw == nullptr) return errno;
    const std::string_view name(raw->d_name);
    if (name == "." || name == "..") continue;
    if (!wildcardMatch(pattern, name)) continue;

    DirectoryEntry entry;
    entry.name = std::string(name);
    entry.hidden = name.front() == '.';
    struct stat info {};
    // A symbolic link is not followed: what it names may be a file the
    // reader of the directory must not hand on.
    if (::lstat(joinPath(directory, name).c_str(), &info) != 0 || S_ISLNK(info.st_mode)) {
      entry.system = true;
    } else {
      entry.isDirectory = S_ISDIR(info.st_mode);
      entry.system = !S_ISREG(info.st_mode) && !entry.isDirectory;
      entry.readOnly = (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
      entry.size = static_cast<std::uint64_t>(info.st_size);
    }
    entries.push_back(std::move(entry));
  }
}

}  // namespace platform
