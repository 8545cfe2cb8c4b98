// Whether two file names name one file: the file systems of POSIX systems
// compare names byte for byte, those of Windows without regard to case.
// Thread-safe.
#pragma once

#include <string_view>

namespace platform {

// True when the file system takes `a` and `b` (names without directory, in
// the ANSI code page on Windows) for one name: equal bytes on POSIX; on
// Windows equal after case folding as NTFS does it, letters outside ASCII
// included ("A.TXT" and "a.txt", "Отчёт.txt" and "отчёт.txt").
bool sameFileName(std::string_view a, std::string_view b);

}  // namespace platform
