#include "platform/file_lock.h"

#include <windows.h>

#include <cerrno>

#include "platform/win32_file_calls.h"

namespace platform {

namespace {

// The lock covers bytes far beyond any text in the file: Windows' locks
// are mandatory for the range they cover, and the holder's text at the
// start must stay readable to the next one.
constexpr DWORD kLockedRangeStart = 0x40000000u;  // as the high half of the offset

}  // namespace

std::unique_ptr<ExclusiveFileLock> ExclusiveFileLock::tryAcquire(const std::string& path, int& error,
                                                                 std::string_view owner, std::string* holder) {
  error = 0;
  const HANDLE file = win32::openFile(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, error);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  // Exclusively, without waiting; the system lets go of it when the
  // process ends, however it ends.
  OVERLAPPED range{};
  range.OffsetHigh = kLockedRangeStart;
  if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, 0, &range)) {
    const DWORD failure = ::GetLastError();
    error = failure == ERROR_LOCK_VIOLATION ? EWOULDBLOCK : win32::errnoOf(failure);
    if (error == EWOULDBLOCK && holder != nullptr) {
      char text[256];
      DWORD count = 0;
      if (!::ReadFile(file, text, sizeof text, &count, nullptr)) count = 0;
      holder->assign(text, count);
    }
    ::CloseHandle(file);
    return nullptr;
  }
  if (!owner.empty()) {
    if (!::SetEndOfFile(file)) {
      error = win32::lastErrno();
    } else {
      error = win32::writeAll(file, path, owner);
    }
    if (error != 0) {
      ::CloseHandle(file);
      return nullptr;
    }
  }
  return std::unique_ptr<ExclusiveFileLock>(new ExclusiveFileLock(reinterpret_cast<std::intptr_t>(file)));
}

ExclusiveFileLock::~ExclusiveFileLock() { ::CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

}  // namespace platform
