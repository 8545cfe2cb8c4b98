#include "platform/directory.h"

#include <windows.h>

#include <cerrno>

#include "platform/file_faults.h"
#include "platform/win32_file_calls.h"

namespace platform {

int scanDirectory(const std::string& directory, std::string_view pattern, std::vector<DirectoryEntry>& entries) {
  if (const int error = injectedFileError(FileOperation::kOpen, directory)) return error;
  std::string search = directory;
  if (!search.empty() && search.back() != '/' && search.back() != '\\') search.push_back('\\');
  search.push_back('*');
  WIN32_FIND_DATAA found{};
  const HANDLE find = ::FindFirstFileA(search.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : win32::errnoOf(error);
  }
  int result = 0;
  do {
    const std::string_view name(found.cFileName);
    if (name == "." || name == ".." || !wildcardMatch(pattern, name)) continue;
    DirectoryEntry entry;
    entry.name = std::string(name);
    const DWORD attributes = found.dwFileAttributes;
    entry.isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    entry.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    // A name beginning with '.' counts as hidden here too: the gateway's own
    // temporary files are named so.
    entry.hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0 || name.front() == '.';
    entry.system = (attributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    // A link (reparse point) is never followed: like a device, it is no file
    // to send.
    entry.notRegular = (attributes & (FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT)) != 0;
    entry.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    entries.push_back(std::move(entry));
  } while (::FindNextFileA(find, &found));
  if (::GetLastError() != ERROR_NO_MORE_FILES) result = win32::lastErrno();
  ::FindClose(find);
  return result;
}

}  // namespace platform
