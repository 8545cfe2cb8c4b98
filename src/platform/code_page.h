// The process's ANSI code page: the one the Windows programs' texts (file
// names, INI values, message texts, log records) are bytes of, and
// conversions of texts into it and out of it. POSIX systems have no such
// code page: texts there are UTF-8 bytes, and the conversions keep them as
// they are. Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// What the log says of it: "ANSI code page 1251" on Windows; on POSIX
// systems "UTF-8" and the locale's codeset ("UTF-8 (locale codeset
// ANSI_X3.4-1968)").
std::string codePageDescription();

// True where the process's texts are UTF-8: on POSIX systems, and on
// Windows where the ANSI code page is 65001.
bool textsAreUtf8();

// `utf8` in the ANSI code page, into `ansi`. False when `utf8` is not valid
// UTF-8 (`ansi` is then `utf8` unchanged) or holds a character the code
// page cannot write (`ansi` has the code page's default character, '?', in
// its place: no look-alike letter is ever taken for it).
bool ansiFromUtf8(std::string_view utf8, std::string& ansi);

// `ansi` (bytes in the ANSI code page) in UTF-8, into `utf8`. False when a
// byte is no character of the code page (`utf8` is then `ansi` unchanged).
bool utf8FromAnsi(std::string_view ansi, std::string& utf8);

}  // namespace platform
