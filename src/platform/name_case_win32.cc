#include "platform/name_case.h"

#include <windows.h>

#include <optional>
#include <string>

#include "text/ascii.h"

namespace platform {

namespace {

std::optional<std::wstring> wideName(std::string_view name) {
  if (name.empty()) return std::wstring();
  const int size = static_cast<int>(name.size());
  const int length = ::MultiByteToWideChar(CP_ACP, 0, name.data(), size, nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  if (::MultiByteToWideChar(CP_ACP, 0, name.data(), size, wide.data(), length) != length) return std::nullopt;
  return wide;
}

}  // namespace

bool sameFileName(std::string_view a, std::string_view b) {
  if (a == b) return true;
  const std::optional<std::wstring> wideA = wideName(a);
  const std::optional<std::wstring> wideB = wideName(b);
  // A name the code page cannot read is still compared in its ASCII letters.
  if (!wideA || !wideB) return text::equalsIgnoringAsciiCase(a, b);
  return ::CompareStringOrdinal(wideA->data(), static_cast<int>(wideA->size()), wideB->data(),
                                static_cast<int>(wideB->size()), TRUE) == CSTR_EQUAL;
}

}  // namespace platform
