#include "platform/file_names.h"

namespace platform {

bool fileNamesFollowWindowsRules() { return false; }

}  // namespace platform
