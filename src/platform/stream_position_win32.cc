#include "platform/stream_position.h"

#include <io.h>

#include <cerrno>

namespace platform {

int seekStream(std::FILE* stream, std::uint64_t offset) {
  return ::_fseeki64(stream, static_cast<__int64>(offset), SEEK_SET) == 0 ? 0 : errno;
}

int streamFileSize(std::FILE* stream, std::uint64_t& size) {
  const __int64 length = ::_filelengthi64(::_fileno(stream));
  if (length < 0) return errno;
  size = static_cast<std::uint64_t>(length);
  return 0;
}

}  // namespace platform
