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

// As iniInteger, for keys that hold nothing but a number: a value that is
// not wholly a decimal (or "0x" hexadecimal) number within int's range gets
// the warning "Wrong [section]:key value "text", using N" with the number
// used (what a leading number gives, else `fallback`).
int iniNumber(const char* section, const char* key, int fallback);

// A value outside the range its key allows, forced into it: the warning
// "Wrong [section]:key=value, forcing to forced".
void warnForced(const char* section, const char* key, int value, int forced);

// The path of the open INI file (256-byte buffer), empty when none is open.
std::string iniFileName();

}  // namespace trasvik
