#include "platform/win32_file_calls.h"

#include <atomic>
#include <cerrno>

#include "platform/file.h"
#include "platform/file_faults.h"

namespace platform::win32 {

namespace {

// Every flush of the process goes through flushFile: counted there.
std::atomic<std::uint64_t> flushCount{0};

}  // namespace

int errnoOf(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS: return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NET_NAME: return ENOENT;
    // A network share that went away or does not answer (its server
    // restarts, the connection dropped): it comes back.
    case ERROR_BAD_NETPATH:
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_DEV_NOT_EXIST: return ENETUNREACH;
    case ERROR_SEM_TIMEOUT: return ETIMEDOUT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return EACCES;
    // Another program has the file open without sharing it, or locked a
    // range of it: antivirus, indexers and backup agents do so for moments.
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW: return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_PARAMETER: return EINVAL;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA: return EPIPE;
    default: return EIO;
  }
}

int lastErrno() { return errnoOf(::GetLastError()); }

HANDLE openFile(const std::string& path, DWORD access, DWORD disposition, DWORD flags, int& error) {
  return openFileSharing(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, disposition, flags,
                         error);
}

HANDLE openFileSharing(const std::string& path, DWORD access, DWORD sharing, DWORD disposition, DWORD flags,
                       int& error) {
  error = injectedFileError(FileOperation::kOpen, path);
  if (error != 0) return INVALID_HANDLE_VALUE;
  const HANDLE file = ::CreateFileA(path.c_str(), access, sharing, nullptr, disposition, flags, nullptr);
  if (file == INVALID_HANDLE_VALUE) error = lastErrno();
  return file;
}

int writeAll(HANDLE file, const std::string& path, std::string_view bytes) {
  if (const int error = injectedFileError(FileOperation::kWrite, path)) return error;
  while (!bytes.empty()) {
    const DWORD piece = bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), piece, &written, nullptr)) return lastErrno();
    bytes.remove_prefix(written);
  }
  return 0;
}

int appendAll(HANDLE file, const std::string& path, std::string_view bytes) {
  if (const int error = injectedFileError(FileOperation::kWrite, path)) return error;
  while (!bytes.empty()) {
    // Both offsets all ones: the write goes to the end of the file as one
    // step, whoever else appends.
    OVERLAPPED atEnd{};
    atEnd.Offset = 0xFFFFFFFFu;
    atEnd.OffsetHigh = 0xFFFFFFFFu;
    const DWORD piece = bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), piece, &written, &atEnd)) return lastErrno();
    bytes.remove_prefix(written);
  }
  return 0;
}

int flushFile(HANDLE file, const std::string& path) {
  if (const int error = injectedFileError(FileOperation::kFsync, path)) return error;
  flushCount.fetch_add(1, std::memory_order_relaxed);
  return ::FlushFileBuffers(file) ? 0 : lastErrno();
}

bool isLinkReparseTag(DWORD tag) {
  // The Linux subsystem's links, whose tag older headers lack.
  constexpr DWORD kLinuxSymbolicLink = 0xA000001Du;
  return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT || tag == kLinuxSymbolicLink;
}

bool isLinkReparsePoint(const std::string& path) {
  WIN32_FIND_DATAA found{};
  const HANDLE find = ::FindFirstFileA(path.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return true;  // unknown: never followed
  ::FindClose(find);
  // For a reparse point the search reports its tag here.
  return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && isLinkReparseTag(found.dwReserved0);
}

int removeFile(const std::string& path) {
  if (const int error = injectedFileError(FileOperation::kUnlink, path)) return error;
  return ::DeleteFileA(path.c_str()) ? 0 : lastErrno();
}

int makeDirectory(const std::string& path) {
  if (const int error = injectedFileError(FileOperation::kMkdir, path)) return error;
  return ::CreateDirectoryA(path.c_str(), nullptr) ? 0 : lastErrno();
}

int linkFile(const std::string& from, const std::string& to) {
  if (const int error = injectedFileError(FileOperation::kLink, from, to)) return error;
  return ::CreateHardLinkA(to.c_str(), from.c_str(), nullptr) ? 0 : lastErrno();
}

int deleteOpenFile(HANDLE file, const std::string& path) {
  if (const int error = injectedFileError(FileOperation::kUnlink, path)) return error;
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) ? 0 : lastErrno();
}

int moveFile(const std::string& from, const std::string& to, bool replace) {
  if (const int error = injectedFileError(FileOperation::kRename, from, to)) return error;
  // No MOVEFILE_COPY_ALLOWED: a move to another volume that copied the file
  // but could not delete the source would still succeed. Such a move fails
  // here with EXDEV, and the caller copies and deletes in steps it checks.
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
  // A move written through is the flush of the new name, which POSIX makes
  // by flushing the directory: counted alike.
  flushCount.fetch_add(1, std::memory_order_relaxed);
  return ::MoveFileExA(from.c_str(), to.c_str(), flags) ? 0 : lastErrno();
}

}  // namespace platform::win32

namespace platform {

std::uint64_t durableFlushCount() { return win32::flushCount.load(std::memory_order_relaxed); }

}  // namespace platform
