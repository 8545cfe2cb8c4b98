#include "platform/directory.h"

#include <windows.h>

#include <cerrno>
#include <optional>

#include "platform/file_faults.h"
#include "platform/win32_file_calls.h"
#include "platform/win32_text.h"

namespace platform {

namespace {

// The name in the ANSI code page, as the rest of the system spells names.
// `unwritable` tells a name with characters the code page has no letter
// for: Windows would list it with '?' or a look-alike letter, a name that
// opens nothing (or another file).
std::string ansiName(const wchar_t* name, bool& unwritable) {
  bool exact = false;
  std::optional<std::string> text = win32::narrowText(::GetACP(), name, exact);
  unwritable = !text || !exact;
  return text.value_or(std::string());
}

}  // namespace

int scanDirectory(const std::string& directory, std::string_view pattern, std::vector<DirectoryEntry>& entries) {
  if (const int error = injectedFileError(FileOperation::kOpen, directory)) return error;
  std::string search = directory;
  if (!search.empty() && search.back() != '/' && search.back() != '\\') search.push_back('\\');
  search.push_back('*');
  // The wide search, so that a name the ANSI code page cannot write is
  // known as such instead of showing up as a name with '?' in it.
  WIN32_FIND_DATAW found{};
  const std::optional<std::wstring> wideSearch = win32::wideText(CP_ACP, search);
  if (!wideSearch) return ENOENT;  // no name of this code page
  const HANDLE find = ::FindFirstFileW(wideSearch->c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : win32::errnoOf(error);
  }
  int result = 0;
  do {
    bool unwritable = false;
    std::string name = ansiName(found.cFileName, unwritable);
    if (name == "." || name == ".." || name.empty() || !wildcardMatch(pattern, name)) continue;
    DirectoryEntry entry;
    entry.name = std::move(name);
    entry.unwritableName = unwritable;
    const DWORD attributes = found.dwFileAttributes;
    // Only symbolic links and junctions are links. Deduplicated, cloud and
    // other files with reparse points are files (and directories) as any.
    const bool link = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && win32::isLinkReparseTag(found.dwReserved0);
    entry.isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !link;
    entry.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    // A name beginning with '.' counts as hidden here too: the gateway's own
    // temporary files are named so.
    entry.hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0 || entry.name.front() == '.';
    entry.system = (attributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    // A link is never followed: like a device, it is no file to send.
    entry.notRegular = (attributes & FILE_ATTRIBUTE_DEVICE) != 0 || link;
    entry.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    // 100-ns ticks since 1601 to seconds since 1970.
    const std::int64_t ticks = static_cast<std::int64_t>((static_cast<std::uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                                                         found.ftLastWriteTime.dwLowDateTime);
    entry.modifiedSeconds = (ticks - 116444736000000000LL) / 10000000;
    entries.push_back(std::move(entry));
  } while (::FindNextFileW(find, &found));
  if (::GetLastError() != ERROR_NO_MORE_FILES) result = win32::lastErrno();
  ::FindClose(find);
  return result;
}

}  // namespace platform
