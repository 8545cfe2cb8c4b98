#include "platform/atomic_file.h"

#include <windows.h>

#include <atomic>
#include <cerrno>

#include "platform/win32_file_calls.h"

namespace platform {

namespace {

constexpr std::string_view kTemporaryMarker = ".tmp-";

}  // namespace

int replaceFileAtomically(const std::string& path, std::string_view contents, Durability durability) {
  const bool durable = durability == Durability::kDurable;
  static std::atomic<unsigned> sequence{0};
  const std::string temporary = path + std::string(kTemporaryMarker) + std::to_string(::GetCurrentProcessId()) + "-" +
                                std::to_string(sequence.fetch_add(1));
  int error = 0;
  {
    win32::Handle file(win32::openFile(temporary, GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, error));
    if (!file.valid()) return error;
    error = win32::writeAll(file.get(), temporary, contents);
    if (error == 0 && durable) error = win32::flushFile(file.get(), temporary);
  }
  // The replacing move is written through: the new name is on the disk
  // when it returns (NTFS journals it).
  if (error == 0) error = win32::moveFile(temporary, path, true);
  if (error != 0) win32::removeFile(temporary);
  return error;
}

int removeFileDurably(const std::string& path) { return win32::removeFile(path); }

int makeDirectoryDurably(const std::string& path) {
  const int error = win32::makeDirectory(path);
  return error == EEXIST ? 0 : error;
}

bool isAtomicTemporaryName(std::string_view fileName) {
  return fileName.find(kTemporaryMarker) != std::string_view::npos;
}

}  // namespace platform
