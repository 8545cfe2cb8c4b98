// How the host library read the gateway's INI file: the encoding its byte
// order mark declared, and the keys whose texts the ANSI code page could
// not write (the library converts UTF-8 and UTF-16 files into it). Asked of
// exports that only some versions of the host library have; without them
// nothing is known and nothing is refused. Main thread only.
#pragma once

#include <string>
#include <vector>

namespace trasvik {

// "UTF-8 with BOM", "UTF-16 LE with BOM", "UTF-16 BE with BOM", "bytes
// without a byte order mark"; empty when the host library does not say.
std::string iniEncodingName();

// One text per section or key whose text the code page could not write:
// "Value of [section]:key ..." or "Section name [section] ...", naming the
// code page.
std::vector<std::string> iniTextsRefused();

}  // namespace trasvik
