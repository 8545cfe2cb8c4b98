#include "trasvik/instance_lock.h"

#include <cerrno>
#include <memory>
#include <system_error>

#include "platform/file_lock.h"
#include "platform/thread.h"
#include "trasvik/gateway_log.h"

namespace trasvik {

std::string instanceLockPath(const std::string& statePath) { return statePath + ".lock"; }

bool lockInstance(const std::string& statePath) {
  // Held until the process ends; never released earlier on purpose.
  static std::unique_ptr<platform::ExclusiveFileLock> held;
  const std::string path = instanceLockPath(statePath);
  int error = 0;
  std::string holder;
  held = platform::ExclusiveFileLock::tryAcquire(path, error, std::to_string(platform::currentProcessId()), &holder);
  if (held) return true;
  if (error == EWOULDBLOCK) {
    GATEWAY_FATAL("Another Trasvik runs with this INI file (process %s, lock file \"%s\")",
                  holder.empty() ? "unknown" : holder.c_str(), path.c_str());
  } else {
    GATEWAY_FATAL("Can't lock \"%s\", %s", path.c_str(), std::generic_category().message(error).c_str());
  }
  return false;
}

}  // namespace trasvik
