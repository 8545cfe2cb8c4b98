#include "platform/name_case.h"

#include <windows.h>

#include <optional>
#include <string>

#include "platform/win32_text.h"
#include "text/ascii.h"

namespace platform {

bool sameFileName(std::string_view a, std::string_view b) {
  if (a == b) return true;
  const std::optional<std::wstring> wideA = win32::wideText(CP_ACP, a);
  const std::optional<std::wstring> wideB = win32::wideText(CP_ACP, b);
  // A name the code page cannot read is still compared in its ASCII letters.
  if (!wideA || !wideB) return text::equalsIgnoringAsciiCase(a, b);
  return ::CompareStringOrdinal(wideA->data(), static_cast<int>(wideA->size()), wideB->data(),
                                static_cast<int>(wideB->size()), TRUE) == CSTR_EQUAL;
}

}  // namespace platform
