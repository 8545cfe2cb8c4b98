// Texts whose encoding a byte order mark may declare, as editors write INI
// files (Notepad saves UTF-8 with a mark, and UTF-16 on request). A text
// without a mark is taken as the bytes it is. Pure functions, thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "text/unicode.h"

namespace text {

enum class DeclaredEncoding { kNone = 0, kUtf8 = 1, kUtf16Le = 2, kUtf16Be = 3 };

struct DeclaredText {
  DeclaredEncoding encoding = DeclaredEncoding::kNone;
  // kNone: the bytes as they are; otherwise the text in UTF-8, without the mark.
  std::string text;
  // False when the text cannot be read: its mark declares UTF-32, or an
  // encoding the rest does not hold, or a text without a mark has NUL bytes
  // (UTF-16 without its mark). `text` is empty then.
  bool readable = true;
};

inline DeclaredText readDeclaredText(std::string_view bytes) {
  DeclaredText result;
  const auto unreadable = [&](DeclaredEncoding encoding) {
    result.encoding = encoding;
    result.readable = false;
    return result;
  };
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    bytes.remove_prefix(3);
    if (!isValidUtf8(bytes)) return unreadable(DeclaredEncoding::kUtf8);
    result.encoding = DeclaredEncoding::kUtf8;
    result.text.assign(bytes);
    return result;
  }
  if (bytes.starts_with(std::string_view("\xFF\xFE\0\0", 4)) || bytes.starts_with(std::string_view("\0\0\xFE\xFF", 4))) {
    return unreadable(DeclaredEncoding::kNone);  // UTF-32
  }
  for (const auto& [mark, encoding] : {std::pair{std::string_view("\xFF\xFE"), DeclaredEncoding::kUtf16Le},
                                      std::pair{std::string_view("\xFE\xFF"), DeclaredEncoding::kUtf16Be}}) {
    if (!bytes.starts_with(mark)) continue;
    std::optional<std::string> utf8 = utf8FromUtf16(bytes.substr(2), encoding == DeclaredEncoding::kUtf16Be);
    if (!utf8 || utf8->find('\0') != std::string::npos) return unreadable(encoding);
    result.encoding = encoding;
    result.text = std::move(*utf8);
    return result;
  }
  if (bytes.find('\0') != std::string_view::npos) return unreadable(DeclaredEncoding::kNone);
  result.text.assign(bytes);
  return result;
}

// "UTF-8 with BOM", "UTF-16 LE with BOM", "UTF-16 BE with BOM", or "bytes
// without a byte order mark".
inline const char* declaredEncodingName(DeclaredEncoding encoding) {
  switch (encoding) {
    case DeclaredEncoding::kUtf8: return "UTF-8 with BOM";
    case DeclaredEncoding::kUtf16Le: return "UTF-16 LE with BOM";
    case DeclaredEncoding::kUtf16Be: return "UTF-16 BE with BOM";
    case DeclaredEncoding::kNone: break;
  }
  return "bytes without a byte order mark";
}

}  // namespace text
