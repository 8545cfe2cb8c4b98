// Internal to the Windows implementation: the Win32 calls of the platform
// layer's file functions. As on POSIX, each wrapper first asks
// file_faults.h whether a test wants the call to fail, and failures are
// reported as errno values, so that the layer's callers (and their texts,
// "errno ENOENT: ...") are the same on both systems.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::win32 {

// The errno value that stands for a Win32 error code.
int errnoOf(DWORD error);
// errnoOf(GetLastError()).
int lastErrno();

// An owned handle, closed with the object.
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() { reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }
  void reset() {
    if (valid()) ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// CreateFileA with every sharing mode, so that other programs (and this
// one) may read, write, rename and delete the file meanwhile, as on POSIX.
// An invalid handle with the errno in `error` on failure.
HANDLE openFile(const std::string& path, DWORD access, DWORD disposition, DWORD flags, int& error);
// The same with the sharing modes given.
HANDLE openFileSharing(const std::string& path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags,
                       int& error);

// Writes every byte at the file position; 0 or the errno.
int writeAll(HANDLE file, const std::string& path, std::string_view bytes);
// Writes every byte at the end of the file, each WriteFile one append;
// 0 or the errno.
int appendAll(HANDLE file, const std::string& path, std::string_view bytes);
// FlushFileBuffers, counted; 0 or the errno.
int flushFile(HANDLE file, const std::string& path);

int removeFile(const std::string& path);
int makeDirectory(const std::string& path);
// Whether a reparse point's tag makes it a link: a symbolic link, a
// junction (mount point) or a link of the Linux subsystem. Deduplicated,
// cloud-synchronised and other files with reparse points are none.
bool isLinkReparseTag(DWORD tag);
// Whether the entry at `path` is a reparse point with a link's tag.
bool isLinkReparsePoint(const std::string& path);

// CreateHardLinkA; EEXIST for an existing target.
int linkFile(const std::string& from, const std::string& to);
// MoveFileExA, written through: `replace` replaces an existing target. A
// move between volumes fails with EXDEV (nothing is copied).
int moveFile(const std::string& from, const std::string& to, bool replace);
// Marks the file open as `file` (with DELETE access) for deletion: it goes
// when its handle closes. Injected faults of removals apply (`path`).
int deleteOpenFile(HANDLE file, const std::string& path);

}  // namespace platform::win32
