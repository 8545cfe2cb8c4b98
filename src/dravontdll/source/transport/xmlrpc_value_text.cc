// XmlRpcValue: the wire text (valueText) and its parser (parseValue), and the
// process-wide double format.
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_set>

#include "transport/base64.h"
#include "transport/xml_scan.h"
#include "transport/xmlrpc_value.h"

namespace Quillex {

namespace {

// dateTime text: daylight-saving flag, day of year, day of week, then the
// date and time. The flag is read two characters wide so that the "-1" this
// writer produces reads back.
constexpr const char* kDateTimeWriteFormat = "%01d,%03d,%01d,%04d-%02d-%02dT%02d:%02d:%02d";
constexpr const char* kDateTimeScanFormat = "%2d,%03d,%01d,%04d-%2d-%2dT%2d:%2d:%2d";

std::string& doubleFormatSetting() {
  static std::string format = "%f";
  return format;
}

// True when `format` holds exactly one conversion that takes a double.
bool isDoubleFormat(const char* format) {
  int conversions = 0;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    while (*p != '\0' && std::strchr("-+ #0'", *p) != nullptr) ++p;
    while (*p >= '0' && *p <= '9') ++p;
    if (*p == '.') {
      ++p;
      while (*p >= '0' && *p <= '9') ++p;
    }
    if (*p == 'l') ++p;  // "%lf" is "%f"
    if (*p == '\0' || std::strchr("fFeEgGaA", *p) == nullptr) return false;
    ++conversions;
  }
  return conversions == 1;
}

// A decimal integer read the way strtol(base 10) reads it: leading
// whitespace, an optional sign, then every digit. The magnitude saturates at
// kSaturated, far outside 32 bits, which is all the callers need to know.
struct DecimalRead {
  bool read = false;  // false when no digit was found
  long long value = 0;
  std::size_t end = 0;  // position after the last digit
};

// Below it, one more digit cannot overflow long long.
constexpr long long kSaturated = 100'000'000'000'000'000;

DecimalRead readDecimal(std::string_view text, std::size_t position) {
  DecimalRead result;
  std::size_t i = position;
  while (i < text.size() && isXmlSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t digitsStart = i;
  long long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (magnitude < kSaturated) magnitude = magnitude * 10 + (text[i] - '0');
  }
  if (i == digitsStart) return result;
  result.read = true;
  result.end = i;
  result.value = negative ? -magnitude : magnitude;
  return result;
}

// The bytes strtod may consume at `position`: whitespace, then the characters
// of decimal, hexadecimal, infinity and NaN forms (and a locale's ",").
std::string_view numberCandidate(std::string_view text, std::size_t position) {
  std::size_t end = position;
  while (end < text.size() && isXmlSpace(text[end])) ++end;
  while (end < text.size()) {
    const char c = text[end];
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum && std::strchr("+-.,_()", c) == nullptr) break;
    ++end;
  }
  return text.substr(position, end - position);
}

}  // namespace

// Tracks nesting while one top-level value is parsed.
struct XmlRpcValue::ParseState {
  int depth = 0;
  bool tooDeep = false;  // set once; fails every enclosing value
  // Where a value failed to parse. Below the depth limit a value's parse
  // depends on its start alone, so a second try there fails again: knowing
  // it keeps broken text, which the levels above may try again from other
  // positions, from costing time exponential in its nesting.
  std::unordered_set<std::size_t> failedAt;
};

void XmlRpcValue::setDoubleFormat(const char* format) {
  if (format == nullptr || !isDoubleFormat(format)) {
    throw XmlRpcException("format error: the double format needs exactly one floating-point conversion");
  }
  doubleFormatSetting() = format;
}

const std::string& XmlRpcValue::getDoubleFormat() { return doubleFormatSetting(); }

// ---- Writing ---------------------------------------------------------------

std::string XmlRpcValue::valueText() const {
  std::string out;
  out.reserve(textSizeHint());
  appendValueText(out);
  return out;
}

std::size_t XmlRpcValue::textSizeHint() const {
  // Markup plus a typical payload; escaping may add to strings and names.
  switch (type_) {
    case TypeInvalid: return 0;
    case TypeBoolean: return 35;
    case TypeInt: return 36;
    case TypeDouble: return 48;
    case TypeString: return 15 + payload_.asString->size();
    case TypeDateTime: return 64;
    case TypeBase64: return 32 + base64EncodedSize(payload_.asBinary->size());
    case TypeArray: {
      std::size_t size = 44;
      for (const XmlRpcValue& element : *payload_.asArray) size += element.textSizeHint();
      return size;
    }
    case TypeStruct: {
      std::size_t size = 32;
      for (const auto& [name, member] : *payload_.asStruct) size += 30 + name.size() + member.textSizeHint();
      return size;
    }
  }
  return 0;
}

void XmlRpcValue::appendValueText(std::string& out) const {
  switch (type_) {
    case TypeInvalid:
      return;
    case TypeBoolean:
      out.append("<value><boolean>").append(payload_.asBool ? "1" : "0").append("</boolean></value>");
      return;
    case TypeInt: {
      char digits[16];
      const auto converted = std::to_chars(digits, digits + sizeof digits, payload_.asInt);
      out.append("<value><i4>").append(digits, converted.ptr).append("</i4></value>");
      return;
    }
    case TypeDouble:
      out.append("<value><double>");
      appendDouble(out);
      out.append("</double></value>");
      return;
    case TypeString:
      out.append("<value>");
      appendEscapedXml(out, *payload_.asString);
      out.append("</value>");
      return;
    case TypeDateTime:
      out.append("<value><dateTime.iso8601>");
      appendDateTime(out);
      out.append("</dateTime.iso8601></value>");
      return;
    case TypeBase64:
      // One allocation for the whole text: the payload may be megabytes.
      out.reserve(out.size() + 32 + base64EncodedSize(payload_.asBinary->size()));
      out.append("<value><base64>");
      appendBase64(out, payload_.asBinary->data(), payload_.asBinary->size());
      out.append("</base64></value>");
      return;
    case TypeArray:
      out.append("<value><array><data>");
      for (const XmlRpcValue& element : *payload_.asArray) element.appendValueText(out);
      out.append("</data></array></value>");
      return;
    case TypeStruct:
      out.append("<value><struct>");
      for (const auto& [name, member] : *payload_.asStruct) {
        out.append("<member><name>");
        appendEscapedXml(out, name);
        out.append("</name>");
        member.appendValueText(out);
        out.append("</member>");
      }
      out.append("</struct></value>");
      return;
  }
}

void XmlRpcValue::appendDouble(std::string& out) const {
  // Written in full however long: "%f" of a large double exceeds 255
  // characters, and a cut number would be a different number on the wire.
  const char* format = doubleFormatSetting().c_str();
  char text[256];
  const int length = std::snprintf(text, sizeof text, format, payload_.asDouble);
  if (length < 0) return;
  if (static_cast<std::size_t>(length) < sizeof text) {
    out.append(text, static_cast<std::size_t>(length));
    return;
  }
  std::string longText(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(longText.data(), longText.size(), format, payload_.asDouble);
  out.append(longText.data(), static_cast<std::size_t>(length));
}

void XmlRpcValue::appendDateTime(std::string& out) const {
  // 128 bytes hold nine ints of any value: the text is never cut.
  const std::tm& t = *payload_.asDateTime;
  char text[128];
  const int length = std::snprintf(text, sizeof text, kDateTimeWriteFormat, t.tm_isdst, t.tm_yday, t.tm_wday,
                                   t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  if (length > 0) out.append(text, static_cast<std::size_t>(length));
}

// ---- Parsing ---------------------------------------------------------------

bool XmlRpcValue::parseValue(std::string_view text, std::size_t& position) {
  ParseState state;
  return parseAt(text, position, state);
}

bool XmlRpcValue::parseAt(std::string_view text, std::size_t& position, ParseState& state) {
  const std::size_t start = position;
  clear();
  if (state.failedAt.contains(start) || !probeTag("<value>", text, position)) return false;
  if (state.depth >= kMaxParseDepth) {
    state.tooDeep = true;
    position = start;
    return false;
  }
  ++state.depth;

  const std::size_t payloadStart = position;
  const std::string_view tag = readNextTagView(text, position);
  bool parsed = false;
  if (tag == "<boolean>") {
    parsed = parseBoolean(text, position);
  } else if (tag == "<i4>" || tag == "<int>") {
    parsed = parseInt(text, position);
  } else if (tag == "<double>") {
    parsed = parseDouble(text, position);
  } else if (tag.empty() || tag == "<string>") {
    parsed = parseString(text, position);
  } else if (tag == "<dateTime.iso8601>") {
    parsed = parseDateTime(text, position);
  } else if (tag == "<base64>") {
    parsed = parseBase64(text, position);
  } else if (tag == "<array>") {
    parsed = parseArray(text, position, state);
  } else if (tag == "<struct>") {
    parsed = parseStruct(text, position, state);
  } else if (tag == "</value>") {
    // An empty value: the (blank) text after "<value>" is a string.
    position = payloadStart;
    parsed = parseString(text, position);
  }
  --state.depth;

  if (!parsed) {
    clear();
    position = start;
    state.failedAt.insert(start);
    return false;
  }
  // Skips whatever closes the payload ("</i4>", "</string>", ...).
  seekTag("</value>", text, position);
  return true;
}

bool XmlRpcValue::parseBoolean(std::string_view text, std::size_t& position) {
  const DecimalRead number = readDecimal(text, position);
  if (!number.read || (number.value != 0 && number.value != 1)) return false;
  *this = number.value == 1;
  position = number.end;
  return true;
}

bool XmlRpcValue::parseInt(std::string_view text, std::size_t& position) {
  // A number outside 32 bits fails rather than arriving truncated.
  const DecimalRead number = readDecimal(text, position);
  if (!number.read || number.value < INT_MIN || number.value > INT_MAX) return false;
  *this = static_cast<int>(number.value);
  position = number.end;
  return true;
}

bool XmlRpcValue::parseDouble(std::string_view text, std::size_t& position) {
  // strtod needs a terminated copy; only the bytes it may consume are copied.
  const std::string candidate(numberCandidate(text, position));
  char* end = nullptr;
  const double number = std::strtod(candidate.c_str(), &end);
  if (end == candidate.c_str()) return false;
  *this = number;
  position += static_cast<std::size_t>(end - candidate.c_str());
  return true;
}

bool XmlRpcValue::parseString(std::string_view text, std::size_t& position) {
  const std::size_t end = text.find('<', position);
  if (end == std::string_view::npos) return false;
  asString() = unescapeXml(text.substr(position, end - position));
  position = end;
  return true;
}

bool XmlRpcValue::parseDateTime(std::string_view text, std::size_t& position) {
  const std::size_t end = text.find('<', position);
  if (end == std::string_view::npos) return false;
  const std::string field(text.substr(position, end - position));
  std::tm record{};
  const int converted = std::sscanf(field.c_str(), kDateTimeScanFormat, &record.tm_isdst, &record.tm_yday,
                                    &record.tm_wday, &record.tm_year, &record.tm_mon, &record.tm_mday,
                                    &record.tm_hour, &record.tm_min, &record.tm_sec);
  if (converted != 9) return false;
  record.tm_isdst = -1;  // daylight saving is left for the local-time conversion to decide
  asDateTime() = record;
  position = end;
  return true;
}

bool XmlRpcValue::parseBase64(std::string_view text, std::size_t& position) {
  const std::size_t end = text.find('<', position);
  if (end == std::string_view::npos) return false;
  decodeBase64(text.substr(position, end - position), asBinary());
  position = end;
  return true;
}

bool XmlRpcValue::parseArray(std::string_view text, std::size_t& position, ParseState& state) {
  if (!probeTag("<data>", text, position)) return false;
  becomeKind(TypeArray);
  ValueArray& elements = *payload_.asArray;
  for (;;) {
    elements.emplace_back();
    if (!elements.back().parseAt(text, position, state)) break;
  }
  elements.pop_back();
  if (state.tooDeep) return false;
  probeTag("</data>", text, position);
  return true;
}

bool XmlRpcValue::parseStruct(std::string_view text, std::size_t& position, ParseState& state) {
  becomeKind(TypeStruct);
  while (probeTag("<member>", text, position)) {
    // Names are taken verbatim: entities in them stay as they are.
    const std::string_view name = elementTextView("<name>", text, position);
    XmlRpcValue member;
    if (!member.parseAt(text, position, state)) return false;
    payload_.asStruct->try_emplace(std::string(name), std::move(member));
    probeTag("</member>", text, position);
  }
  return true;
}

}  // namespace Quillex
