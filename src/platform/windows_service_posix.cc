#include "platform/windows_service.h"

namespace platform {

namespace {

constexpr char kNoServices[] = "Windows services exist on Windows only; use the systemd unit";

}  // namespace

bool windowsServicesExist() { return false; }

std::string installService(const ServiceSettings&, std::vector<std::string>&) { return kNoServices; }

std::string uninstallService(const std::string&, unsigned) { return kNoServices; }

std::vector<std::string> serviceEnvironment(const std::string&) { return {}; }

ServiceFacts queryService(const std::string&) {
  ServiceFacts facts;
  facts.error = kNoServices;
  return facts;
}

bool runAsService(const std::string&, const std::function<int(ServiceControl&)>&,
                  const std::function<void(ServiceRequest)>&, int&) {
  return false;
}

void writeEvent(const std::string&, EventKind, const std::string&) {}

}  // namespace platform
