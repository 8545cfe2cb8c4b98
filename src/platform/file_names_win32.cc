#include "platform/file_names.h"

namespace platform {

bool fileNamesFollowWindowsRules() { return true; }

}  // namespace platform
