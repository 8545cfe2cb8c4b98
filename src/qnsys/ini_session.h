// The process-wide INI file that QnIniOpen opens: its absolute path and its
// parsed contents. Readers take a snapshot (a shared pointer), so a lookup or
// an enumeration in progress keeps its file even when another thread closes
// or reopens it. All functions are thread-safe.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qnsys/ini_file.h"

namespace qnsys {

struct OpenIni {
  std::string path;  // absolute, lexically canonical
  IniFile file;
  // What its byte order mark declared (QNSYS_INI_BYTES ... QNSYS_INI_UTF16BE).
  int encoding = 0;
  // The sections and keys whose text the ANSI code page could not write.
  std::vector<RefusedText> refused;
};

// Closes the INI file open before, then reads and parses `path` (relative
// paths are taken against the current directory). A file with a byte order
// mark is read in the encoding it declares, its texts converted to the
// process's ANSI code page (platform/code_page.h). Returns 0 or a QNERROR_
// code; on failure no INI file is open.
unsigned int openIni(const char* path);

void closeIni();

// The open INI file, or nullptr.
std::shared_ptr<const OpenIni> currentIni();

}  // namespace qnsys
