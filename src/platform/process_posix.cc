#include "platform/process.h"

#include <dlfcn.h>
#include <link.h>
#include <signal.h>
#include <unistd.h>


#include "platform/file.h"
#include "platform/path.h"

namespace platform {

namespace {

int collectModule(dl_phdr_info* info, size_t, void* data) {
  auto& modules = *static_cast<std::vector<ModuleInfo>*>(data);
  std::string path = info->dlpi_name != nullptr ? info->dlpi_name : "";
  const void* base = reinterpret_cast<const void*>(info->dlpi_addr);
  if (modules.empty() && path.empty()) {
    // The first entry is the main program, which the loader lists unnamed.
    path = executablePath().value_or("");
  }
  if (path.empty()) return 0;
  modules.push_back(ModuleInfo{path, versionFromFileName(path), base});
  return 0;
}

}  // namespace

std::vector<ModuleInfo> loadedModules() {
  std::vector<ModuleInfo> modules;
  ::dl_iterate_phdr(collectModule, &modules);
  return modules;
}

ModuleInfo moduleContaining(const void* address) {
  Dl_info info{};
  if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return ModuleInfo{"", "0.0.0.0", nullptr};
  const std::string path = info.dli_fname;
  return ModuleInfo{path, versionFromFileName(path), info.dli_fbase};
}

const void* moduleBaseContaining(const void* address) {
  Dl_info info{};
  return ::dladdr(address, &info) == 0 ? nullptr : info.dli_fbase;
}

std::string processCommandLine() {
  std::string raw;
  if (readWholeFile("/proc/self/cmdline", raw) != 0) return std::string();
  while (!raw.empty() && raw.back() == '\0') raw.pop_back();
  for (char& c : raw) {
    if (c == '\0') c = ' ';
  }
  return raw;
}

void killCurrentProcess() {
  ::kill(::getpid(), SIGKILL);
  ::_exit(137);  // not reached
}

}  // namespace platform
