// Loading shared libraries at run time (the crypto provider). Not thread-safe
// per object; distinct objects may be used from distinct threads.
#pragma once

#include <memory>
#include <string>

namespace platform {

class DynamicLibrary {
 public:
  // Loads the library: a name with a directory from there, a bare name
  // through the loader's search path (POSIX: LD_LIBRARY_PATH, then the
  // system's; Windows: beside the program, the system directory, then the
  // absolute directories on PATH, never the current directory). Returns
  // nullptr and puts the loader's explanation into `error` on failure.
  static std::unique_ptr<DynamicLibrary> open(const std::string& name, std::string& error);
  ~DynamicLibrary();  // unloads the library
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  // Address of an exported symbol, or nullptr.
  void* symbol(const char* name) const;

  template <typename Function>
  Function function(const char* name) const {
    return reinterpret_cast<Function>(symbol(name));
  }

 private:
  explicit DynamicLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

// The address of `name` as exported by a library the process has already
// loaded: on POSIX looked up in the global scope, on Windows in the module
// `windowsModule` ("QnSys.dll"). nullptr when there is none, so that a
// caller can use an export that only some versions of a library have.
void* loadedSymbol(const char* windowsModule, const char* name);

}  // namespace platform
