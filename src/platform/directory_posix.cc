#include "platform/directory.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "platform/path.h"
#include "platform/posix_file_calls.h"

namespace platform {

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
      entry.notRegular = true;
    } else {
      entry.isDirectory = S_ISDIR(info.st_mode);
      entry.notRegular = !S_ISREG(info.st_mode) && !entry.isDirectory;
      entry.readOnly = (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
      entry.size = static_cast<std::uint64_t>(info.st_size);
      entry.modifiedSeconds = static_cast<std::int64_t>(info.st_mtim.tv_sec);
    }
    entries.push_back(std::move(entry));
  }
}

}  // namespace platform
