#include "trasvik/instance_lock.h"

#include <cerrno>
#include <memory>
#include <system_error>

#include "platform/file_lock.h"
#include "platform/thread.h"
#include "rule/held_files.h"
#include "trasvik/gateway_log.h"

namespace trasvik {

std::string instanceLockPath(const std::string& statePath) { return statePath + ".lock"; }

std::string lockRefusal(const std::string& lockPath, int error, const std::string& holder) {
  if (error == EWOULDBLOCK) {
    return "Another Trasvik runs with this INI file (process " + (holder.empty() ? std::string("unknown") : holder) +
           ", lock file \"" + lockPath + "\")";
  }
  return "Can't lock \"" + lockPath + "\", " + std::generic_category().message(error);
}

bool lockInstance(const std::string& statePath) {
  // Held until the process ends; never released earlier on purpose.
  static std::unique_ptr<platform::ExclusiveFileLock> held;
  const std::string path = instanceLockPath(statePath);
  int error = 0;
  std::string holder;
  // A backup agent or scanner that has the lock file open for a moment
  // is waited for; another gateway holding the lock is not.
  retryWhileHeld(path, [&] {
    held = platform::ExclusiveFileLock::tryAcquire(path, error, std::to_string(platform::currentProcessId()), &holder);
    return held ? 0 : error;
  });
  if (held) return true;
  GATEWAY_FATAL("%s", lockRefusal(path, error, holder).c_str());
  return false;
}

}  // namespace trasvik
