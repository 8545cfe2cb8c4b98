#include "platform/random_access_file.h"

#include <windows.h>

#include <cerrno>

#include "platform/file_faults.h"
#include "platform/win32_file_calls.h"

namespace platform {

namespace {

HANDLE handleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

int RandomAccessFile::open(const std::string& path, const FileOpenMode& mode, std::unique_ptr<RandomAccessFile>& file) {
  file.reset();
  if (mode.refuseWhileWritten && (mode.write || !mode.read)) return EINVAL;
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EISDIR;
  DWORD access = 0;
  if (mode.read) access |= GENERIC_READ;
  if (mode.write) access |= GENERIC_WRITE;
  DWORD disposition = OPEN_EXISTING;
  if (mode.create) disposition = mode.truncate ? CREATE_ALWAYS : OPEN_ALWAYS;
  if (!mode.create && mode.truncate) disposition = TRUNCATE_EXISTING;
  // Refusing while another handle writes the file is what Windows' sharing
  // modes do: without FILE_SHARE_WRITE the open fails with a sharing
  // violation while a writer has it open. Renaming and removing stay
  // allowed, as on POSIX: a file the service reads must not stop its owner
  // from moving it on (a client that died leaves its streams open).
  DWORD share = mode.refuseWhileWritten ? FILE_SHARE_READ | FILE_SHARE_DELETE
                                        : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  if (mode.keepName) share &= ~static_cast<DWORD>(FILE_SHARE_DELETE);
  if (mode.exclusive) share = 0;
  int error = 0;
  if (error = injectedFileError(FileOperation::kOpen, path); error != 0) return error;
  const HANDLE opened = ::CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    const DWORD failure = ::GetLastError();
    return failure == ERROR_SHARING_VIOLATION && mode.refuseWhileWritten ? EBUSY : win32::errnoOf(failure);
  }
  std::unique_ptr<RandomAccessFile> result(new RandomAccessFile(reinterpret_cast<std::intptr_t>(opened)));
  result->path_ = path;
  if (::GetFileType(opened) != FILE_TYPE_DISK) return ENODEV;
  file = std::move(result);
  return 0;
}

RandomAccessFile::~RandomAccessFile() { ::CloseHandle(handleOf(handle_)); }

int RandomAccessFile::readAt(std::uint64_t offset, char* buffer, std::size_t size, std::size_t& got) {
  got = 0;
  while (got < size) {
    OVERLAPPED at{};
    const std::uint64_t position = offset + got;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    const std::size_t left = size - got;
    const DWORD piece = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    DWORD n = 0;
    if (!::ReadFile(handleOf(handle_), buffer + got, piece, &n, &at)) {
      const DWORD failure = ::GetLastError();
      if (failure == ERROR_HANDLE_EOF) break;
      return win32::errnoOf(failure);
    }
    if (n == 0) break;
    got += n;
  }
  return 0;
}

int RandomAccessFile::writeAt(std::uint64_t offset, std::string_view bytes) {
  if (const int error = injectedFileError(FileOperation::kWrite, path_)) return error;
  while (!bytes.empty()) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD piece = bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
    DWORD n = 0;
    if (!::WriteFile(handleOf(handle_), bytes.data(), piece, &n, &at)) return win32::lastErrno();
    bytes.remove_prefix(n);
    offset += n;
  }
  return 0;
}

int RandomAccessFile::size(std::uint64_t& bytes) const {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(handleOf(handle_), &size)) return win32::lastErrno();
  bytes = static_cast<std::uint64_t>(size.QuadPart);
  return 0;
}

int RandomAccessFile::sync() { return win32::flushFile(handleOf(handle_), path_); }

}  // namespace platform
