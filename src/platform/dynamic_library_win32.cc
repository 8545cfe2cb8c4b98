#include "platform/dynamic_library.h"

#include <windows.h>

namespace platform {

std::unique_ptr<DynamicLibrary> DynamicLibrary::open(const std::string& name, std::string& error) {
  const HMODULE module = ::LoadLibraryA(name.c_str());
  if (module == nullptr) {
    const DWORD failure = ::GetLastError();
    char text[256] = {};
    ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, failure, 0, text, sizeof text,
                     nullptr);
    std::string reason(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ')) reason.pop_back();
    error = name + ": " + (reason.empty() ? "error " + std::to_string(failure) : reason);
    return nullptr;
  }
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(module));
}

DynamicLibrary::~DynamicLibrary() { ::FreeLibrary(static_cast<HMODULE>(handle_)); }

void* DynamicLibrary::symbol(const char* name) const {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

void* loadedSymbol(const char* windowsModule, const char* name) {
  const HMODULE module = ::GetModuleHandleA(windowsModule);
  return module == nullptr ? nullptr : reinterpret_cast<void*>(::GetProcAddress(module, name));
}

}  // namespace platform
