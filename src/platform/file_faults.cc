#include "platform/file_faults.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "platform/environment.h"
#include "platform/file.h"

namespace platform {

namespace {

template <typename Value>
struct Named {
  std::string_view name;
  Value value;
};

constexpr Named<FileOperation> kOperations[] = {
    {"open", FileOperation::kOpen},     {"write", FileOperation::kWrite},   {"fsync", FileOperation::kFsync},
    {"rename", FileOperation::kRename}, {"link", FileOperation::kLink},     {"unlink", FileOperation::kUnlink},
    {"mkdir", FileOperation::kMkdir},   {"space", FileOperation::kSpace},
};

// The errors a file operation can plausibly meet; others are given by number.
constexpr Named<int> kErrors[] = {
    {"EPERM", EPERM},     {"ENOENT", ENOENT},   {"EIO", EIO},         {"EBADF", EBADF},
    {"EAGAIN", EAGAIN},   {"ENOMEM", ENOMEM},   {"EACCES", EACCES},   {"EBUSY", EBUSY},
    {"EEXIST", EEXIST},   {"EXDEV", EXDEV},     {"ENODEV", ENODEV},   {"ENOTDIR", ENOTDIR},
    {"EISDIR", EISDIR},   {"EINVAL", EINVAL},   {"ENFILE", ENFILE},   {"EMFILE", EMFILE},
    {"ETXTBSY", ETXTBSY}, {"EFBIG", EFBIG},     {"ENOSPC", ENOSPC},   {"EROFS", EROFS},
    {"EMLINK", EMLINK},   {"ENOSYS", ENOSYS},   {"ELOOP", ELOOP},     {"ENOTEMPTY", ENOTEMPTY},
    {"EOPNOTSUPP", EOPNOTSUPP}, {"ENAMETOOLONG", ENAMETOOLONG}, {"SHARING", EBUSY},
    {"ENETUNREACH", ENETUNREACH}, {"ETIMEDOUT", ETIMEDOUT}, {"ENOTCONN", ENOTCONN},
#if defined(EDQUOT)  // not in the Windows C runtime
    {"EDQUOT", EDQUOT},   {"ESTALE", ESTALE},
#endif
};

template <typename Value, std::size_t count>
bool lookUpName(const Named<Value> (&table)[count], std::string_view name, Value& value) {
  for (const Named<Value>& entry : table) {
    if (entry.name == name) {
      value = entry.value;
      return true;
    }
  }
  return false;
}

bool parseUnsigned(std::string_view text, unsigned& value) {
  const char* end = text.data() + text.size();
  const auto [stop, problem] = std::from_chars(text.data(), end, value);
  return !text.empty() && problem == std::errc() && stop == end;
}

// One entry, "operation:path-part:error[:skip[:count]]".
bool parseEntry(std::string_view entry, FileFault& fault) {
  std::string_view fields[5];
  std::size_t count = 0;
  for (;;) {
    if (count == std::size(fields)) return false;
    const std::size_t colon = entry.find(':');
    fields[count++] = entry.substr(0, colon);
    if (colon == std::string_view::npos) break;
    entry.remove_prefix(colon + 1);
  }
  if (count < 3) return false;

  if (!lookUpName(kOperations, fields[0], fault.operation)) return false;
  fault.pathPart = std::string(fields[1]);
  if (!lookUpName(kErrors, fields[2], fault.error)) {
    unsigned number = 0;
    if (!parseUnsigned(fields[2], number) || number == 0 || number >= 4096) return false;
    fault.error = static_cast<int>(number);
  }
  fault.skip = 0;
  fault.count = 0;
  if (count >= 4 && !parseUnsigned(fields[3], fault.skip)) return false;
  return count < 5 || parseUnsigned(fields[4], fault.count);
}

// kUnread until the environment variable has been read; afterwards whether
// any fault is configured. The list itself is guarded by the mutex.
enum State : int { kUnread, kNone, kSome };
std::atomic<int> state{kUnread};

struct FaultList {
  std::mutex mutex;
  std::vector<FileFault> faults;
};

// Never destroyed: file operations may still run while the process exits.
FaultList& faultList() {
  static FaultList* list = new FaultList;
  return *list;
}

void install(std::vector<FileFault> faults) {
  FaultList& list = faultList();
  std::lock_guard<std::mutex> lock(list.mutex);
  const bool some = !faults.empty();
  list.faults = std::move(faults);
  state.store(some ? kSome : kNone, std::memory_order_release);
}

void readVariableOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::vector<FileFault> faults;
    if (const auto text = environmentVariable(kFileFaultsVariable)) {
      std::string error;
      if (!parseFileFaults(*text, faults, error)) {
        writeStandardError(std::string(kFileFaultsVariable) + ": " + error + "\n");
        std::abort();
      }
    }
    install(std::move(faults));
  });
}

}  // namespace

bool parseFileFaults(std::string_view text, std::vector<FileFault>& faults, std::string& error) {
  faults.clear();
  while (!text.empty()) {
    const std::size_t end = text.find(';');
    const std::string_view entry = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (entry.empty()) continue;
    FileFault fault;
    if (!parseEntry(entry, fault)) {
      faults.clear();
      error = "bad entry \"" + std::string(entry) + "\" (expected operation:path-part:error[:skip[:count]])";
      return false;
    }
    faults.push_back(std::move(fault));
  }
  return true;
}

void setFileFaults(std::vector<FileFault> faults) {
  readVariableOnce();  // so that the variable cannot override these later
  install(std::move(faults));
}

bool fileFaultsConfigured() {
  int now = state.load(std::memory_order_relaxed);
  if (now == kUnread) {
    readVariableOnce();
    now = state.load(std::memory_order_acquire);
  }
  return now == kSome;
}

namespace {

// Whether `part` occurs in `path`. On Windows '\' and '/' separate alike,
// so that a test's "/sent/" finds "C:\...\sent\a".
bool pathContains(std::string_view path, std::string_view part) {
#if defined(_WIN32)
  std::string normal(path);
  std::replace(normal.begin(), normal.end(), '\\', '/');
  std::string normalPart(part);
  std::replace(normalPart.begin(), normalPart.end(), '\\', '/');
  return normal.find(normalPart) != std::string::npos;
#else
  return path.find(part) != std::string_view::npos;
#endif
}

}  // namespace

int injectedFileError(FileOperation operation, std::string_view path, std::string_view otherPath) {
  if (!fileFaultsConfigured()) return 0;
  FaultList& list = faultList();
  std::lock_guard<std::mutex> lock(list.mutex);
  for (FileFault& fault : list.faults) {
    if (fault.operation != operation) continue;
    if (!pathContains(path, fault.pathPart) && !pathContains(otherPath, fault.pathPart)) continue;
    if (fault.skip > 0) {
      --fault.skip;
      return 0;
    }
    if (fault.usedUp) return 0;
    if (fault.count > 0 && --fault.count == 0) fault.usedUp = true;
    return fault.error;
  }
  return 0;
}

}  // namespace platform
