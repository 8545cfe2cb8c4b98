#include "qnsys/ini_file.h"

#include <cstdint>
#include <limits>

#include "text/ascii.h"

namespace qnsys {

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Names compare case-insensitively for ASCII letters only; other bytes
// (any encoding) compare exactly.
std::string foldCase(std::string_view name) { return text::asciiLowered(name); }

// Takes the next line off `rest`, without its LF or CR LF end.
std::string_view takeLine(std::string_view& rest) {
  const std::size_t end = rest.find('\n');
  std::string_view line = rest.substr(0, end);
  rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

IniFile IniFile::parse(std::string_view contents) {
  std::vector<RefusedText> refused;
  return parse(contents, nullptr, refused);
}

IniFile IniFile::parse(std::string_view contents, const LineConversion& convert, std::vector<RefusedText>& refused) {
  if (contents.starts_with(kUtf8ByteOrderMark)) contents.remove_prefix(kUtf8ByteOrderMark.size());

  IniFile ini;
  // The section that takes keys: none before the first header and none in the
  // body of a repeated section, whose keys the first occurrence shadows.
  Section* current = nullptr;
  std::string currentName;
  std::string converted;
  while (!contents.empty()) {
    std::string_view line = trimBlanks(takeLine(contents));
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    const bool exact = !convert || convert(line, converted);
    if (convert) line = converted;

    if (line.front() == '[') {
      const std::string_view inside = line.substr(1);
      const std::string_view name = trimBlanks(inside.substr(0, inside.find(']')));
      const auto [where, added] = ini.sectionIndex_.try_emplace(foldCase(name), ini.sections_.size());
      current = added ? &ini.sections_.emplace_back() : nullptr;
      currentName = name;
      if (added && !exact) refused.push_back({currentName, ""});
      continue;
    }

    const std::size_t equals = line.find('=');
    if (current == nullptr || equals == std::string_view::npos) continue;
    const std::string_view key = trimBlanks(line.substr(0, equals));
    if (key.empty()) continue;
    const auto [where, added] = current->keyIndex.try_emplace(foldCase(key), current->entries.size());
    if (!added) continue;
    current->entries.push_back({std::string(key), std::string(trimBlanks(line.substr(equals + 1)))});
    if (!exact) refused.push_back({currentName, std::string(key)});
  }
  return ini;
}

const IniFile::Section* IniFile::findSection(std::string_view name) const {
  const auto found = sectionIndex_.find(foldCase(name));
  return found == sectionIndex_.end() ? nullptr : &sections_[found->second];
}

const std::string* IniFile::find(std::string_view section, std::string_view key) const {
  const Section* inSection = findSection(section);
  if (inSection == nullptr) return nullptr;
  const auto found = inSection->keyIndex.find(foldCase(key));
  return found == inSection->keyIndex.end() ? nullptr : &inSection->entries[found->second].value;
}

const std::vector<IniEntry>* IniFile::entries(std::string_view section) const {
  const Section* inSection = findSection(section);
  return inSection == nullptr ? nullptr : &inSection->entries;
}

int parseProfileInt(std::string_view text, int noNumber) {
  text = trimBlanks(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }

  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    if (text.empty() || hexDigitValue(text.front()) < 0) return noNumber;
    // Unsigned arithmetic wraps by definition: the low 32 bits survive.
    std::uint32_t bits = 0;
    for (const char c : text) {
      const int digit = hexDigitValue(c);
      if (digit < 0) break;
      bits = bits * 16u + static_cast<std::uint32_t>(digit);
    }
    if (negative) bits = 0u - bits;
    return static_cast<int>(bits);  // modular conversion since C++20
  }

  if (text.empty() || !isDecimalDigit(text.front())) return noNumber;
  const std::int64_t limit = negative ? -static_cast<std::int64_t>(std::numeric_limits<int>::min())
                                      : static_cast<std::int64_t>(std::numeric_limits<int>::max());
  std::int64_t magnitude = 0;
  for (const char c : text) {
    if (!isDecimalDigit(c)) break;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > limit) magnitude = limit;
  }
  return static_cast<int>(negative ? -magnitude : magnitude);
}

}  // namespace qnsys
