#include "platform/dynamic_library.h"

#include <dlfcn.h>

namespace platform {

std::unique_ptr<DynamicLibrary> DynamicLibrary::open(const std::string& name, std::string& error) {
  void* handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = ::dlerror();
    error = reason != nullptr ? reason : "unknown loader error";
    return nullptr;
  }
  return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle));
}

DynamicLibrary::~DynamicLibrary() { ::dlclose(handle_); }

void* DynamicLibrary::symbol(const char* name) const { return ::dlsym(handle_, name); }

void* loadedSymbol(const char* /*windowsModule*/, const char* name) { return ::dlsym(RTLD_DEFAULT, name); }

}  // namespace platform
