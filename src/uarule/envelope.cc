#include "uarule/envelope.h"

#include "rule/rule_text.h"
#include "text/ascii.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

constexpr std::size_t kLongestLine = 255;
constexpr char kWhiteSpace[] = " \t\n\v\f\r";

std::string trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(kWhiteSpace);
  return std::string(text.substr(first, last - first + 1));
}

}  // namespace

void EnvelopeParser::feed(std::string_view bytes) {
  for (const char c : bytes) {
    if (addLineByte(line_, c, kLongestLine)) completeLine();
  }
}

EnvelopeValues EnvelopeParser::finish() {
  values_.lostLastLine = !line_.empty();
  line_.clear();
  return values_;
}

void EnvelopeParser::completeLine() {
  const std::string_view line(line_);
  const std::size_t colon = line.find(':');
  std::string value = colon == std::string_view::npos ? std::string() : trimmed(line.substr(colon + 1));
  if (!value.empty()) {
    using text::equalsIgnoringAsciiCase;
    const std::string_view key = line.substr(0, colon);
    if (equalsIgnoringAsciiCase(key, "to")) {
      values_.to = std::move(value);
    } else if (equalsIgnoringAsciiCase(key, "subject")) {
      values_.subject = std::move(value);
    } else if (equalsIgnoringAsciiCase(key, "type")) {
      values_.type = std::move(value);
    } else if (equalsIgnoringAsciiCase(key, "filename")) {
      values_.filename = std::move(value);
    }
  }
  line_.clear();
}

HeaderLines receivedEnvelopeLines(const ReceivedEnvelope& envelope) {
  HeaderLines lines;
  if (!envelope.selfAddress.empty()) lines.emplace_back("To", envelope.selfAddress);
  lines.emplace_back("From", envelope.sender);
  if (!envelope.subject.empty()) lines.emplace_back("Subject", envelope.subject);
  if (envelope.localDate != nullptr) {
    const std::tm& d = *envelope.localDate;
    lines.emplace_back("Date/Time", formatText("%04u%02u%02u/%02u%02u%02u", static_cast<unsigned>(d.tm_year) + 1900u,
                                               static_cast<unsigned>(d.tm_mon) + 1u, static_cast<unsigned>(d.tm_mday),
                                               static_cast<unsigned>(d.tm_hour), static_cast<unsigned>(d.tm_min),
                                               static_cast<unsigned>(d.tm_sec)));
  }
  lines.emplace_back("MsgID", envelope.messageId);
  lines.emplace_back("Type", formatText("0x%04X", envelope.coretype));
  if (!envelope.fileName.empty()) lines.emplace_back("Filename", envelope.fileName);
  return fittedLines(std::move(lines), false, envelope.messageId);
}

}  // namespace trasvik
