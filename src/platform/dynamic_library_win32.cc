#include "platform/dynamic_library.h"

#include <windows.h>

#include <vector>

#include "platform/environment.h"
#include "platform/win32_text.h"

namespace platform {

namespace {

// The places the loader looks in for the library and for the DLLs it needs:
// the program's directory, the system directory and the directories added
// with AddDllDirectory, and for a library named by its path, its own
// directory. Never the current directory, where anyone who can write a file
// would have a DLL of theirs run with the caller's rights.
constexpr DWORD kSafeSearch = LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
constexpr DWORD kSafeSearchBesideFile = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;

bool hasDirectory(const std::string& name) { return name.find_first_of("\\/:") != std::string::npos; }

// "C:\x", "\\server\share\x" or "\x" (on the current drive): a directory
// that does not lie below the current directory, as a relative PATH entry
// (".", "bin", "C:bin") does; those are left out.
bool isAbsoluteDirectory(const std::string& directory) {
  const auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (directory.size() >= 3 && directory[1] == ':' && separator(directory[2])) return true;
  return !directory.empty() && separator(directory[0]);
}

// The absolute entries of PATH, in their order, without quotes.
std::vector<std::string> absolutePathDirectories() {
  std::vector<std::string> directories;
  const std::string path = environmentVariable("PATH").value_or("");
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(';', start);
    if (end == std::string::npos) end = path.size();
    std::string entry = path.substr(start, end - start);
    if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"') entry = entry.substr(1, entry.size() - 2);
    if (isAbsoluteDirectory(entry)) directories.push_back(entry);
    start = end + 1;
  }
  return directories;
}

// A library named by a path: loaded from there (a relative path is the
// caller's own choice of the current directory).
HMODULE loadFromPath(const std::string& path) {
  char full[MAX_PATH] = {};
  const DWORD length = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  if (length == 0 || length >= sizeof full) return ::LoadLibraryExA(path.c_str(), nullptr, 0);
  return ::LoadLibraryExA(full, nullptr, kSafeSearchBesideFile);
}

// A library named without a directory: beside the program, in the system
// directory and the added directories, then in the absolute directories on
// PATH, in that order. On failure `failure` holds the error of the first
// file that was found and could not be loaded, else "not found".
HMODULE loadBySearch(const std::string& name, DWORD& failure) {
  if (const HMODULE module = ::LoadLibraryExA(name.c_str(), nullptr, kSafeSearch)) return module;
  failure = ::GetLastError();
  for (const std::string& directory : absolutePathDirectories()) {
    const char last = directory.back();
    const std::string candidate = directory + (last == '\\' || last == '/' ? "" : "\\") + name;
    if (::GetFileAttributesA(candidate.c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    if (const HMODULE module = ::LoadLibraryExA(candidate.c_str(), nullptr, kSafeSearchBesideFile)) return module;
    if (failure == ERROR_MOD_NOT_FOUND) failure = ::GetLastError();
  }
  return nullptr;
}

std::string systemText(DWORD failure) {
  const std::string reason = win32::systemErrorText(failure);
  return reason.empty() ? "error " + std::to_string(failure) : reason;
}

}  // namespace

std::unique_ptr<DynamicLibrary> DynamicLibrary::open(const std::string& name, std::string& error) {
  DWORD failure = ERROR_MOD_NOT_FOUND;
  HMODULE module = nullptr;
  if (hasDirectory(name)) {
    module = loadFromPath(name);
    if (module == nullptr) failure = ::GetLastError();
  } else {
    module = loadBySearch(name, failure);
  }
  if (module == nullptr) {
    error = name + ": " + systemText(failure);
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
