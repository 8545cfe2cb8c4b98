#include "rule/held_files.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <set>

#include "platform/clock.h"
#include "platform/file.h"
#include "rule/rule_text.h"
#include "trasvik/debug_log.h"
#include "trasvik/gateway_log.h"
#include "trasvik/settings.h"
#include "trasvik/stop_control.h"
#include "trasvik/supervision.h"

namespace trasvik {

namespace {

constexpr unsigned kFirstPauseMilliseconds = 50;
constexpr unsigned kLongestPauseMilliseconds = 1000;

// Paths warned about as held, until they could be moved or removed.
std::set<std::string>& warnedHeld() {
  static std::set<std::string> paths;
  return paths;
}

std::string holdText(int error) {
  return error == EBUSY ? "it is in use by another program" : "access is denied, " + errnoText(error);
}

}  // namespace

bool isHoldError(int error) { return error == EBUSY || error == EACCES; }

unsigned lockWaitMilliseconds() { return settings().lockWaitMilliseconds; }

int retryWhileHeld(const std::string& path, const std::function<int()>& operation) {
  int error = operation();
  if (!isHoldError(error)) return error;
  const auto started = std::chrono::steady_clock::now();
  const auto deadline = started + std::chrono::milliseconds(lockWaitMilliseconds());
  unsigned pause = kFirstPauseMilliseconds;
  while (isHoldError(error) && !stopRequested()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    platform::sleepMilliseconds(static_cast<unsigned>(std::min<long long>(pause, left)));
    keepAlive();  // a long lock wait is no hang
    pause = std::min(pause * 2, kLongestPauseMilliseconds);
    error = operation();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (error == 0) {
    GATEWAY_DEBUG("\"%s\" was held by another program for %s s", path.c_str(), secondsText(seconds).c_str());
  }
  return error;
}

void leaveHeldFile(const std::string& path, const std::string& what, int error) {
  if (warnedHeld().insert(path).second) {
    GATEWAY_WARNING("File \"%s\" can't be %s: %s after waiting %u s; it stays for a later pass", path.c_str(),
                    what.c_str(), holdText(error).c_str(), lockWaitMilliseconds() / 1000);
  }
  throw FileHeld{path, error};
}

void heldFileReleased(const std::string& path) { warnedHeld().erase(path); }

namespace {

// Directories warned about as unreachable, until a move there succeeds.
std::set<std::string>& warnedUnreachable() {
  static std::set<std::string> directories;
  return directories;
}

}  // namespace

bool isUnreachableVolume(int error, const std::string& directory) {
  if (platform::isNetworkVolumeError(error)) return true;
  if (error != EIO && error != ENOENT) return false;
  // The directory gone with its share, not a file of a present one.
  platform::FileFacts facts;
  return platform::fileFacts(directory, facts) != 0;
}

void leaveUnreachableVolume(const std::string& directory, int error) {
  if (warnedUnreachable().insert(directory).second) {
    GATEWAY_WARNING("Directory \"%s\" is not reachable, %s; its files stay and are tried again in the next pass",
                    directory.c_str(), errnoText(error).c_str());
  }
  throw VolumeUnreachable{directory, error};
}

void volumeReached(const std::string& directory) {
  if (warnedUnreachable().erase(directory) == 0) return;
  GATEWAY_INFO("Directory \"%s\" is reachable again", directory.c_str());
}

}  // namespace trasvik
