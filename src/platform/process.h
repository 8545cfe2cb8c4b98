// Facts about the running process for the module report the client library
// sends to the service. Thread-safe.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct ModuleInfo {
  std::string path;     // full path of the loaded file
  std::string version;  // "a.b.c.d"
  const void* base;     // load address, identifies the module
};

// Every file mapped as a module, the main program first, in load order.
// Modules without a file name (the vDSO) are left out.
std::vector<ModuleInfo> loadedModules();

// The version carried in a versioned file name: "libx.so.1.2.3" gives
// "1.2.3.0"; a name without a numeric suffix gives "0.0.0.0".
std::string versionFromFileName(const std::string& path);

// The module that contains `address` (empty path and null base when none).
// Reads the module's version resource, which may load a library: never
// from a library's entry point, under the loader lock.
ModuleInfo moduleContaining(const void* address);

// The load address of the module that contains `address`, or nullptr. Reads
// no file and loads nothing, so a library's entry point may call it.
const void* moduleBaseContaining(const void* address);

// Ends this process at once, as a kill by another process would: no
// handler, destructor or buffer flush runs. For crash tests.
[[noreturn]] void killCurrentProcess();

// The process's arguments joined by one blank.
std::string processCommandLine();

}  // namespace platform
