#include "platform/file.h"

#include <io.h>
#include <windows.h>

#include <cerrno>
#include <mutex>

#include "platform/file_faults.h"
#include "platform/win32_file_calls.h"
#include "platform/win32_text.h"

namespace platform {

using win32::Handle;
using win32::lastErrno;

namespace {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kEpochDifference = 116444736000000000LL;

std::int64_t nanosecondsSinceEpoch(const FILETIME& time) {
  const std::int64_t intervals =
      static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  return (intervals - kEpochDifference) * 100;
}

HANDLE openForReading(const std::string& path, int& error) {
  return win32::openFile(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, error);
}

// Reads until the end of the file into `buffer`; 0 or the errno.
int readRest(HANDLE file, std::string& buffer) {
  char chunk[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(file, chunk, sizeof chunk, &got, nullptr)) return lastErrno();
    if (got == 0) return 0;
    buffer.append(chunk, got);
  }
}

// A device name ("NUL", "COM1"): no file, though it can be opened.
bool isDevice(const std::string& path) {
  int error = 0;
  Handle file(win32::openFile(path, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, error));
  return file.valid() && ::GetFileType(file.get()) != FILE_TYPE_DISK;
}

}  // namespace

int flushFileToDisk(const std::string& path) {
  int error = 0;
  // Flushing needs write access to the file.
  Handle file(win32::openFile(path, GENERIC_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, error));
  if (!file.valid()) return error;
  return win32::flushFile(file.get(), path);
}

// NTFS journals its directories itself: a name made or removed is on the
// disk once the call returns, and there is no directory to flush.
int flushDirectoryToDisk(const std::string&) { return 0; }

int readWholeFile(const std::string& path, std::string& contents) {
  contents.clear();
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EISDIR;
  int error = 0;
  Handle file(openForReading(path, error));
  if (!file.valid()) return error;
  std::string buffer;
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(file.get(), &size) && size.QuadPart > 0) buffer.reserve(static_cast<std::size_t>(size.QuadPart));
  if ((error = readRest(file.get(), buffer))) return error;
  contents.swap(buffer);
  return 0;
}

int writeWholeFile(const std::string& path, std::string_view contents) {
  int error = 0;
  Handle file(win32::openFile(path, GENERIC_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, error));
  if (!file.valid()) return error;
  if ((error = win32::writeAll(file.get(), path, contents))) return error;
  return win32::flushFile(file.get(), path);
}

AppendFile::~AppendFile() { close(); }

int AppendFile::open(const std::string& path) {
  close();
  int error = 0;
  // FILE_APPEND_DATA alone: every write goes to the end, as with O_APPEND.
  const HANDLE file = win32::openFile(path, FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, error);
  if (file == INVALID_HANDLE_VALUE) return error;
  handle_ = reinterpret_cast<std::intptr_t>(file);
  path_ = path;
  return 0;
}

int AppendFile::write(std::string_view bytes) {
  if (!isOpen()) return EBADF;
  // Windows appends each write whole; Wine does not when several handles
  // of one process append at once, so this process's appends take turns.
  static std::mutex appending;
  const std::lock_guard<std::mutex> turn(appending);
  return win32::appendAll(reinterpret_cast<HANDLE>(handle_), path_, bytes);
}

int AppendFile::flushToDisk() { return isOpen() ? win32::flushFile(reinterpret_cast<HANDLE>(handle_), path_) : EBADF; }

void AppendFile::close() {
  if (isOpen()) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kClosed;
}

int writeStandardError(std::string_view bytes) {
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  if (error == INVALID_HANDLE_VALUE || error == nullptr) return EBADF;
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!::WriteFile(error, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) return lastErrno();
    bytes.remove_prefix(written);
  }
  return 0;
}

void sendStandardErrorToOutput() {
  // Both the handle the system hands out and the C runtime's descriptor.
  ::SetStdHandle(STD_ERROR_HANDLE, ::GetStdHandle(STD_OUTPUT_HANDLE));
  ::_dup2(1, 2);
}

int fileFacts(const std::string& path, FileFacts& facts) {
  facts = FileFacts{};
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
    const int error = lastErrno();
    if (!isDevice(path)) return error;
    facts.kind = FileKind::kOther;
    return 0;
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    facts.kind = FileKind::kDirectory;
  } else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0) {
    facts.kind = FileKind::kOther;
  } else {
    facts.kind = FileKind::kRegular;
  }
  facts.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  facts.writable = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
  facts.modifiedNanoseconds = nanosecondsSinceEpoch(data.ftLastWriteTime);
  facts.modified = facts.modifiedNanoseconds / 1000000000;
  return 0;
}

int checkReadable(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return lastErrno();
  // A symbolic link or junction is not followed; other reparse points
  // (deduplicated, cloud or compressed files) are files like any other.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && win32::isLinkReparsePoint(path)) return ELOOP;
  if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) return EINVAL;
  int error = 0;
  Handle file(openForReading(path, error));
  return file.valid() ? 0 : error;
}

int probeDirectoryForFiles(const std::string& directory) {
  // One name for every prober: a probe a crash left behind is taken up and
  // removed by the next, and one that another prober removed first is fine.
  const std::string probe = directory + ".trasvik-probe";
  {
    int error = 0;
    Handle file(win32::openFile(probe, GENERIC_WRITE, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, error));
    if (!file.valid()) return error;
  }
  const int error = win32::removeFile(probe);
  return error == ENOENT ? 0 : error;
}

bool pathExists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

int makeDirectory(const std::string& path) { return win32::makeDirectory(path); }

int removeFile(const std::string& path) { return win32::removeFile(path); }

int markFileInProgress(const std::string& path, bool marked) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return lastErrno();
  constexpr DWORD kMarks = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY;
  DWORD wanted = marked ? attributes | kMarks : attributes & ~kMarks;
  // FILE_ATTRIBUTE_NORMAL stands for "no attribute" and may only be given alone.
  wanted &= ~FILE_ATTRIBUTE_NORMAL;
  if (wanted == 0) wanted = FILE_ATTRIBUTE_NORMAL;
  return ::SetFileAttributesA(path.c_str(), wanted) ? 0 : lastErrno();
}

namespace {

// Copies the open `source` to the new file `to`, flushed to disk; on failure
// no copy is left.
int copyOpenFile(HANDLE source, const std::string& to) {
  int error = 0;
  // CREATE_NEW: an existing target is never replaced, also not one that
  // appears while a move copies.
  Handle target(win32::openFile(to, GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, error));
  if (!target.valid()) return error;
  char chunk[1 << 16];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(source, chunk, sizeof chunk, &got, nullptr)) {
      error = lastErrno();
      break;
    }
    if (got == 0) break;
    if ((error = win32::writeAll(target.get(), to, std::string_view(chunk, got)))) break;
  }
  if (!error) error = win32::flushFile(target.get(), to);
  target.reset();
  if (error) win32::removeFile(to);
  return error;
}

// A move to another volume in steps that are each checked. The source is
// held open for reading and deleting, with only reads shared: from then on
// no other program can open it in a way that keeps it from being deleted,
// and one that holds it already makes the open fail (EBUSY) before anything
// is copied. The copy is flushed before the source is marked for deletion;
// when that fails the copy is removed again and the source stays, so the
// file is never in both places after a failed move.
int moveAcrossVolumes(const std::string& from, const std::string& to) {
  int error = 0;
  Handle source(win32::openFileSharing(from, GENERIC_READ | DELETE, FILE_SHARE_READ, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN, error));
  if (!source.valid()) return error;
  if ((error = copyOpenFile(source.get(), to))) return error;
  if ((error = win32::deleteOpenFile(source.get(), from))) {
    win32::removeFile(to);
    return error;
  }
  return 0;
}

}  // namespace

int copyFile(const std::string& from, const std::string& to) {
  int error = 0;
  Handle source(openForReading(from, error));
  if (!source.valid()) return error;
  return copyOpenFile(source.get(), to);
}

int moveFile(const std::string& from, const std::string& to) {
  // Never replacing; between volumes the file is copied, flushed, and only
  // then is the source deleted.
  const int error = win32::moveFile(from, to, false);
  return error == EXDEV ? moveAcrossVolumes(from, to) : error;
}

std::optional<std::uint64_t> freeBytesOn(const std::string& directory) {
  if (injectedFileError(FileOperation::kSpace, directory) != 0) return 0;
  const std::optional<std::wstring> wide = win32::wideText(CP_ACP, directory);
  ULARGE_INTEGER available{};
  if (!wide || !::GetDiskFreeSpaceExW(wide->c_str(), &available, nullptr, nullptr)) return std::nullopt;
  return static_cast<std::uint64_t>(available.QuadPart);
}

// The Windows errors of a share that went away come out of errnoOf as
// these (file_calls_win32.cc).
bool isNetworkVolumeError(int error) {
  return error == ENETUNREACH || error == ETIMEDOUT || error == ENETDOWN || error == ECONNRESET ||
         error == ECONNABORTED || error == ENOTCONN || error == EHOSTUNREACH;
}

}  // namespace platform
