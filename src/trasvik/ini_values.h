// Reading the gateway's INI file through the host library: the open file
// (handle -1) only, with the buffer sizes the settings are read with.
#pragma once

#include <cstddef>
#include <string>

namespace trasvik {

// The key's text, cut to `bufferSize` - 1 bytes as the host library's copy
// does; `fallback` (nullptr: empty) when the key is absent.
std::string iniText(const char* section, const char* key, std::size_t bufferSize, const char* fallback = nullptr);

// The key's integer value, `fallback` when the key is absent or holds no
// number.
int iniInteger(const char* section, const char* key, int fallback);

// The path of the open INI file (256-byte buffer), empty when none is open.
std::string iniFileName();

}  // namespace trasvik
