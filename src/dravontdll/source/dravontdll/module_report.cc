#include "dravontdll/module_report.h"

#include "platform/path.h"
#include "platform/process.h"
#include "platform/thread.h"

namespace Quillex {

namespace {

// The current directory as the service is told it: empty when it cannot be
// read or needs more than the 1023 bytes the report has room for.
std::string reportedCurrentDirectory() {
  const auto directory = platform::currentDirectory();
  if (!directory || directory->size() > 1022) return std::string();
  return *directory;
}

std::string baseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

ModuleReport gatherModuleReport() {
  ModuleReport report;
  const auto executable = platform::executablePath();
  if (!executable) return report;
  const std::string executableName = baseName(*executable);
  // The library itself, found by its file the way the loader lists it.
  const std::string ownPath = platform::moduleContaining(reinterpret_cast<const void*>(&gatherModuleReport)).path;

  for (const platform::ModuleInfo& module : platform::loadedModules()) {
    if (baseName(module.path) == executableName && report.executablePath.empty()) {
      report.executablePath = module.path;
      report.executableVersion = module.version;
    } else if (module.path == ownPath) {
      report.modules.insert(report.modules.begin(), {module.path, module.version});
    } else {
      report.modules.emplace_back(module.path, module.version);
    }
  }
  return report;
}

RpcParams moduleReportParams(int context, const ModuleReport& report) {
  RpcParams params;
  params.add(context)
      .addText(report.executablePath)
      .addText(report.executableVersion)
      .addText(platform::processCommandLine())
      .addText(reportedCurrentDirectory())
      .add(static_cast<int>(report.modules.size()))
      .add(platform::currentProcessId());
  for (const auto& [path, version] : report.modules) params.addText(path).addText(version);
  return params;
}

}  // namespace Quillex
