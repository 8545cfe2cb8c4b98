#include "platform/process.h"

#include <windows.h>
#include <tlhelp32.h>

#include <string>

namespace platform {

namespace {

// "a.b.c.d" from the file's version resource (its fixed file version);
// "0.0.0.0" for a file without one.
std::string versionOfFile(const std::string& path) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return "0.0.0.0";
  std::string data(size, '\0');
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!::GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
      !::VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr) {
    return "0.0.0.0";
  }
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

std::string pathOfModule(HMODULE module) {
  char buffer[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameA(module, buffer, sizeof buffer);
  return std::string(buffer, length);
}

}  // namespace

std::vector<ModuleInfo> loadedModules() {
  std::vector<ModuleInfo> modules;
  const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, ::GetCurrentProcessId());
  if (snapshot == INVALID_HANDLE_VALUE) return modules;
  MODULEENTRY32 entry{};
  entry.dwSize = sizeof entry;
  // The snapshot lists the program first.
  for (BOOL more = ::Module32First(snapshot, &entry); more; more = ::Module32Next(snapshot, &entry)) {
    const std::string path = entry.szExePath;
    modules.push_back(ModuleInfo{path, versionOfFile(path), entry.modBaseAddr});
  }
  ::CloseHandle(snapshot);
  return modules;
}

ModuleInfo moduleContaining(const void* address) {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &module)) {
    return ModuleInfo{"", "0.0.0.0", nullptr};
  }
  const std::string path = pathOfModule(module);
  return ModuleInfo{path, versionOfFile(path), module};
}

const void* moduleBaseContaining(const void* address) {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &module)) {
    return nullptr;
  }
  return module;
}

std::string processCommandLine() { return ::GetCommandLineA(); }

void killCurrentProcess() {
  ::TerminateProcess(::GetCurrentProcess(), 128 + 9);
  ::ExitProcess(128 + 9);  // not reached
}

}  // namespace platform
