// Internal to the Windows implementation: texts between a code page and
// the system's UTF-16, as the wide interfaces take and give them.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace platform::win32 {

// `bytes` of `codePage` in UTF-16; nullopt when a byte is no character there.
std::optional<std::wstring> wideText(UINT codePage, std::string_view bytes);

// `wide` in `codePage`; `exact` false when a character had no letter there.
// Best-fit look-alikes ("e" for "ё") are never taken: the code page's
// default character ('?') marks what could not be written.
std::optional<std::string> narrowText(UINT codePage, const std::wstring& wide, bool& exact);

// The system's text for a Win32 error code, without its line end; "" when
// the system has none.
std::string systemErrorText(DWORD error);

}  // namespace platform::win32
