// The process-wide INI file that QnIniOpen opens: its absolute path and its
// parsed contents. Readers take a snapshot (a shared pointer), so a lookup or
// an enumeration in progress keeps its file even when another thread closes
// or reopens it. All functions are thread-safe.
#pragma once

#include <memory>
#include <string>

#include "qnsys/ini_file.h"

namespace qnsys {

struct OpenIni {
  std::string path;  // absolute, lexically canonical
  IniFile file;
};

// Closes the INI file open before, then reads and parses `path` (relative
// paths are taken against the current directory). Returns 0 or a QNERROR_
// code; on failure no INI file is open.
unsigned int openIni(const char* path);

void closeIni();

// The open INI file, or nullptr.
std::shared_ptr<const OpenIni> currentIni();

}  // namespace qnsys
