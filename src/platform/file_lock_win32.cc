#include "platform/file_lock.h"

#include <windows.h>

#include <cerrno>

#include "platform/win32_file_calls.h"

namespace platform {

std::unique_ptr<ExclusiveFileLock> ExclusiveFileLock::tryAcquire(const std::string& path, int& error) {
  error = 0;
  const HANDLE file = win32::openFile(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, error);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  // The whole file, exclusively, without waiting; the system lets go of it
  // when the process ends, however it ends.
  OVERLAPPED whole{};
  if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) {
    const DWORD failure = ::GetLastError();
    error = failure == ERROR_LOCK_VIOLATION ? EWOULDBLOCK : win32::errnoOf(failure);
    ::CloseHandle(file);
    return nullptr;
  }
  return std::unique_ptr<ExclusiveFileLock>(new ExclusiveFileLock(reinterpret_cast<std::intptr_t>(file)));
}

ExclusiveFileLock::~ExclusiveFileLock() { ::CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

}  // namespace platform
