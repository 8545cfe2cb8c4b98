#include "platform/service_notify.h"

namespace platform {

// The Service Control Manager is told through windows_service.h instead.
bool serviceManagerListens() { return false; }

bool notifyServiceManager(const std::string&) { return false; }

unsigned long long watchdogIntervalMilliseconds() { return 0; }

}  // namespace platform
