#include "platform/code_page.h"

#include <windows.h>

#include <optional>

#include "platform/win32_text.h"

namespace platform::win32 {

std::optional<std::wstring> wideText(UINT codePage, std::string_view bytes) {
  if (bytes.empty()) return std::wstring();
  const int size = static_cast<int>(bytes.size());
  const int length = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), length) != length) {
    return std::nullopt;
  }
  return wide;
}

std::optional<std::string> narrowText(UINT codePage, const std::wstring& wide, bool& exact) {
  exact = true;
  if (wide.empty()) return std::string();
  // UTF-8 writes everything, and takes neither the flag nor the report.
  const bool utf8 = codePage == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* report = utf8 ? nullptr : &usedDefault;
  const int size = static_cast<int>(wide.size());
  const int length = ::WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, report);
  if (length <= 0) return std::nullopt;
  std::string narrow(static_cast<std::size_t>(length), '\0');
  if (::WideCharToMultiByte(codePage, flags, wide.data(), size, narrow.data(), length, nullptr, report) != length) {
    return std::nullopt;
  }
  exact = !usedDefault;
  return narrow;
}

std::string systemErrorText(DWORD error) {
  char buffer[256] = {};
  ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, buffer, sizeof buffer,
                   nullptr);
  std::string text(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace platform::win32

namespace platform {

using win32::narrowText;
using win32::wideText;

std::string codePageDescription() { return "ANSI code page " + std::to_string(::GetACP()); }

bool textsAreUtf8() { return ::GetACP() == CP_UTF8; }

bool ansiFromUtf8(std::string_view utf8, std::string& ansi) {
  const std::optional<std::wstring> wide = wideText(CP_UTF8, utf8);
  bool exact = false;
  const std::optional<std::string> narrow = wide ? narrowText(::GetACP(), *wide, exact) : std::nullopt;
  if (!narrow) {
    ansi.assign(utf8);
    return false;
  }
  ansi = *narrow;
  return exact;
}

bool utf8FromAnsi(std::string_view ansi, std::string& utf8) {
  const std::optional<std::wstring> wide = wideText(CP_ACP, ansi);
  bool exact = false;
  const std::optional<std::string> narrow = wide ? narrowText(CP_UTF8, *wide, exact) : std::nullopt;
  if (!narrow) {
    utf8.assign(ansi);
    return false;
  }
  utf8 = *narrow;
  return true;
}

}  // namespace platform
