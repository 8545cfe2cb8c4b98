#include "platform/name_case.h"

namespace platform {

bool sameFileName(std::string_view a, std::string_view b) { return a == b; }

}  // namespace platform
