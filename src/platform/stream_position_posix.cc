#include "platform/stream_position.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>

namespace platform {

int seekStream(std::FILE* stream, std::uint64_t offset) {
  return ::fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0 ? 0 : errno;
}

int streamFileSize(std::FILE* stream, std::uint64_t& size) {
  struct stat status {};
  if (::fstat(::fileno(stream), &status) != 0) return errno;
  size = static_cast<std::uint64_t>(status.st_size);
  return 0;
}

}  // namespace platform
