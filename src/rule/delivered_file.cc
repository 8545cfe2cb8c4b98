#include "rule/delivered_file.h"

#include "platform/file.h"
#include "platform/path.h"
#include "rule/file_moves.h"
#include "rule/held_files.h"
#include "rule/rule_text.h"
#include "trasvik/gateway_log.h"

namespace trasvik {

bool deliveredFileVanished(const std::string& ruleName, const std::string& path) {
  if (platform::pathExists(path)) return false;
  GATEWAY_WARNING("Rule [%s]: File \"%s\" was sent but is gone: another program removed it", ruleName.c_str(),
                  path.c_str());
  return true;
}

void deleteDeliveredFile(const std::string& path, FatalReport report) {
  const int error = retryWhileHeld(path, [&] { return platform::removeFile(path); });
  if (error == 0) {
    heldFileReleased(path);
    return;
  }
  if (isHoldError(error)) leaveHeldFile(path, "removed", error);
  if (isUnreachableVolume(error, platform::directoryPrefix(path))) {
    leaveUnreachableVolume(platform::directoryPrefix(path), error);
  }
  report("Can't remove file \"%s\", %s", path.c_str(), errnoText(error).c_str());
  throw kMoveFailure;
}

}  // namespace trasvik
