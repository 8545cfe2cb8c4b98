#include "stream_open.h"

#include <cerrno>
#include <system_error>

#include "platform/path.h"
#include "platform/random_access_file.h"

namespace dravont_service {

namespace {

struct ParsedMode {
  platform::FileOpenMode open;
  StreamAccess access;
};

bool parseMode(const std::string& mode, ParsedMode& parsed) {
  if (mode.empty()) return false;
  bool plus = false;
  bool text = false;
  bool refuseWhileWritten = false;
  for (std::size_t i = 1; i < mode.size(); ++i) {
    switch (mode[i]) {
      case '+': plus = true; break;
      case 'b': break;
      case 't': text = true; break;
      case 'E': refuseWhileWritten = true; break;
      default: return false;
    }
  }
  platform::FileOpenMode& open = parsed.open;
  StreamAccess& access = parsed.access;
  switch (mode[0]) {
    case 'r':
      open.read = true;
      open.write = plus;
      break;
    case 'w':
      open.read = plus;
      open.write = open.create = open.truncate = true;
      break;
    case 'a':
      open.read = plus;
      open.write = open.create = true;
      access.append = true;
      break;
    default: return false;
  }
  if (refuseWhileWritten && (mode[0] != 'r' || plus)) return false;
  open.refuseWhileWritten = refuseWhileWritten;
  access.readable = open.read;
  access.writable = open.write;
  access.text = text;
  return true;
}

}  // namespace

std::shared_ptr<Stream> openFileStream(const std::string& path, const std::string& mode, const std::string& fileName,
                                       std::string& error) {
  ParsedMode parsed;
  if (!parseMode(mode, parsed)) {
    error = "Unknown open mode \"" + mode + "\" (r, w or a, then +, b, t; E with r alone)";
    return nullptr;
  }
  if (path.empty()) {
    error = "No file path given";
    return nullptr;
  }
  std::unique_ptr<platform::RandomAccessFile> file;
  if (int failure = platform::RandomAccessFile::open(path, parsed.open, file)) {
    const std::string reason = failure == EBUSY ? "another process has it open for writing"
                               : failure == EISDIR ? "it is a directory"
                               : failure == ENODEV ? "it is not a regular file"
                                                   : std::generic_category().message(failure);
    error = "Can't open file \"" + path + "\" in mode \"" + mode + "\": " + reason;
    return nullptr;
  }
  auto store = std::make_shared<FileBytes>(path, std::move(file));
  return std::make_shared<Stream>(std::move(store), parsed.access, fileName.empty() ? platform::baseName(path) : fileName, mode);
}

std::shared_ptr<Stream> openBufferStream(std::string bytes, const std::string& fileName) {
  StreamAccess access;
  access.writable = true;
  return std::make_shared<Stream>(std::make_shared<MemoryBytes>(std::move(bytes)), access, fileName, "buffer");
}

}  // namespace dravont_service
