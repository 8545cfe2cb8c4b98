#include "rule/received_file.h"

#include <cerrno>
#include <set>
#include <vector>

#include "platform/clock.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/path.h"
#include "rule/file_moves.h"
#include "rule/held_files.h"
#include "rule/rule_text.h"
#include "trasvik/debug_log.h"
#include "trasvik/gateway_log.h"
#include "trasvik/notification.h"
#include "trasvik/session.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

constexpr char kTemporaryPrefix[] = ".receiving-";

// A hidden name no other file of the directory has: the process's start
// tick keeps the files of successive processes apart, the count the files
// of one process.
std::string temporaryPath(const std::string& directory) {
  static const std::uint32_t processTick = platform::tickCount();
  static unsigned count = 0;
  for (;;) {
    std::string path = directory + kTemporaryPrefix + formatText("%08x-%u", processTick, ++count);
    if (!platform::pathExists(path)) return path;
  }
}

// A received file that cannot be made durable is treated like one that
// cannot be moved: reported, and the run ends before the confirmation.
[[noreturn]] void failDurability(const std::string& path, int error) {
  reportCantContinue("Can't flush \"%s\" to disk, %s", path.c_str(), errnoText(error).c_str());
  throw kMoveFailure;
}

}  // namespace

ReceivedFile::~ReceivedFile() {
  close();
  if (temporaryPath_.empty()) return;
  const int error = platform::removeFile(temporaryPath_);
  if (error != 0 && error != ENOENT) {
    GATEWAY_WARNING("Can't remove file \"%s\", %s", temporaryPath_.c_str(), errnoText(error).c_str());
  }
}

bool ReceivedFile::create(const std::string& directory, const char* mode) {
  directory_ = directory;
  temporaryPath_ = temporaryPath(directory);
  open_ = Quillex::InitDravontStreamFromFile(&stream_, serviceContext(), temporaryPath_.c_str(), mode, "") == 0;
  // Out of sight of those who read the directory until it is whole, where
  // its leading dot hides nothing. A file that could not be marked is still
  // whole when it gets its name: no reason to give it up.
  if (open_) {
    if (const int error = platform::markFileInProgress(temporaryPath_, true)) {
      GATEWAY_DEBUG("\"%s\" not marked as being written, %s", temporaryPath_.c_str(), errnoText(error).c_str());
    }
  }
  return open_;
}

void ReceivedFile::close() {
  if (!open_) return;
  Quillex::FreeDravontStream(&stream_);
  open_ = false;
}

std::uint64_t ReceivedFile::size() const {
  platform::FileFacts facts;
  return platform::fileFacts(temporaryPath_, facts) == 0 ? facts.size : 0;
}

std::string ReceivedFile::place(const std::string& name) {
  flushBeforePlacing();
  std::string path = moveFile(temporaryPath_, directory_, name);
  temporaryPath_.clear();
  return path;
}

void ReceivedFile::placeExactly(const std::string& name) {
  flushBeforePlacing();
  moveFileExactly(temporaryPath_, directory_ + name);
  temporaryPath_.clear();
}

void ReceivedFile::flushBeforePlacing() {
  close();
  // The message is confirmed once its files are in place, and the service
  // then forgets it: the bytes must survive a crash of the machine before
  // that (the new names too: flushDirectory).
  if (const int error = platform::flushFileToDisk(temporaryPath_)) failDurability(temporaryPath_, error);
  // A file that kept its marks would be passed over by those it is for.
  const int error =
      retryWhileHeld(temporaryPath_, [&] { return platform::markFileInProgress(temporaryPath_, false); });
  if (error == 0) return;
  if (isHoldError(error)) leaveHeldFile(temporaryPath_, "given its final attributes", error);
  reportCantContinue("Can't set the attributes of \"%s\", %s", temporaryPath_.c_str(), errnoText(error).c_str());
  throw kMoveFailure;
}

void removeLeftoverTemporaryFiles(const std::string& directory) {
  // "in/" and "in/./" (the default information prefix) are one directory.
  static std::set<std::string> cleaned;
  if (!cleaned.insert(platform::canonicalizePath(directory).value_or(directory)).second) return;
  std::vector<platform::DirectoryEntry> entries;
  platform::scanDirectory(directory, std::string(kTemporaryPrefix) + "*", entries);
  for (const platform::DirectoryEntry& entry : entries) {
    if (entry.isDirectory) continue;
    const std::string path = directory + entry.name;
    if (const int error = platform::removeFile(path); error != 0 && error != ENOENT) {
      GATEWAY_WARNING("Can't remove file \"%s\", %s", path.c_str(), errnoText(error).c_str());
    } else {
      GATEWAY_INFO("Removed \"%s\", left by a receipt the gateway did not finish", path.c_str());
    }
  }
}

void flushDirectory(const std::string& directory) {
  if (const int error = platform::flushDirectoryToDisk(directory)) failDurability(directory, error);
}

}  // namespace trasvik
