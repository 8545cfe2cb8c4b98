// Opening file streams by the C library's mode texts: "r", "w" or "a", then
// any of "+" (read and write), "b" (binary, the default), "t" (text: "\n"
// written as CR LF and read back) and, with "r" alone, "E" (refuse a file
// that another process still has open for writing). Thread-safe.
#pragma once

#include <memory>
#include <string>

#include "stream.h"

namespace dravont_service {

// Opens `path` in `mode`. The stream's fileName is `fileName` when not
// empty, else the file's base name. Returns nullptr and sets `error` to a
// text naming the file, the mode and the reason.
std::shared_ptr<Stream> openFileStream(const std::string& path, const std::string& mode, const std::string& fileName,
                                       std::string& error);

// A read-write stream over a copy of `bytes`.
std::shared_ptr<Stream> openBufferStream(std::string bytes, const std::string& fileName);

}  // namespace dravont_service
