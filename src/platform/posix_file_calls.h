// Internal to the POSIX implementation: the file system calls of the platform
// layer. Each wrapper first asks file_faults.h whether a test wants this call
// to fail; if so, it fails with that errno without making the call. EINTR is
// retried inside.
#pragma once

#include <dirent.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::posix {

// open(2): the descriptor, or -1 with errno set.
int openFile(const std::string& path, int flags, mode_t mode = 0);

// opendir(3): the directory stream, or nullptr with errno set.
DIR* openDirectory(const std::string& path);

// Write every byte, continuing after short writes, at the file position or
// at `offset`. Return 0 or the errno of the failing call.
int writeAll(int fd, std::string_view bytes);
int writeAllAt(int fd, std::uint64_t offset, std::string_view bytes);

// writeAll for the standard streams, which are no files of ours: faults are
// never injected here.
int writeAllToStream(int fd, std::string_view bytes);

// The following return 0 or the errno of the failing call.
int syncFile(int fd);
// renameat2(2) with `flags` (0: a plain rename, which replaces the target).
int renameFile(const std::string& from, const std::string& to, unsigned flags = 0);
int linkFile(const std::string& from, const std::string& to);
int unlinkFile(const std::string& path);
int makeDirectory(const std::string& path, mode_t mode);
// Flushes the directory ("" is the current one), so that the names made or
// removed in it survive a crash of the machine.
int syncDirectory(const std::string& directory);

}  // namespace platform::posix
