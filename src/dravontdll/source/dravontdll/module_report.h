// The report of the client process and its modules that InitContext sends
// to the service.
#pragma once

#include <string>
#include <vector>

#include "dravontdll/service_call.h"

namespace Quillex {

struct ModuleReport {
  std::string executablePath;
  std::string executableVersion;
  std::vector<std::pair<std::string, std::string>> modules;  // (path, version), the library first
};

// Gathers the report for this process: the main program apart, then every
// other module in load order with this library moved to the front.
ModuleReport gatherModuleReport();

// The parameters of "ReportModules" for a context number.
RpcParams moduleReportParams(int context, const ModuleReport& report);

}  // namespace Quillex
