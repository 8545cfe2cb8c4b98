#include "msgrule/msg_file.h"

#include "rule/rule_text.h"
#include "text/ascii.h"
#include "trasvik/text_format.h"

namespace trasvik {

namespace {

constexpr std::size_t kLongestLine = 255;

}  // namespace

std::size_t MsgHeaderParser::feed(std::string_view bytes) {
  std::size_t taken = 0;
  while (taken < bytes.size() && !done_) {
    ++position_;
    if (addLineByte(line_, bytes[taken++], kLongestLine)) completeLine();
  }
  return taken;
}

void MsgHeaderParser::end() {
  if (done_) return;
  done_ = true;
  header_.bodyStart = lineByLine_ ? lineStart_ : position_;
}

void MsgHeaderParser::completeLine() {
  const bool known = takeHeaderLine();
  if (lineByLine_ && !known) {
    done_ = true;
    header_.bodyStart = lineStart_;
    return;
  }
  if (!lineByLine_ && line_.empty()) {
    done_ = true;
    header_.bodyStart = position_;
    return;
  }
  line_.clear();
  lineStart_ = position_;
}

// True when the line is a header line of a known key; its value is then
// taken when the key is one that sending uses.
bool MsgHeaderParser::takeHeaderLine() {
  const std::size_t colon = line_.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  const std::string key = text::asciiLowered(std::string_view(line_).substr(0, colon));
  const std::size_t valueStart = line_.find_first_not_of(' ', colon + 1);
  std::string value = valueStart == std::string::npos ? std::string() : line_.substr(valueStart);
  if (key == "to") {
    header_.to = std::move(value);
  } else if (key == "subject") {
    header_.subject = std::move(value);
  } else if (key == "type") {
    header_.type = std::move(value);
  } else if (key == "filename") {
    header_.filename = std::move(value);
  } else if (key != "msgid" && key != "from" && key != "date") {
    return false;
  }
  return true;
}

HeaderLines receivedHeaderLines(const ReceivedHeader& header) {
  HeaderLines lines;
  if (!header.selfAddress.empty()) lines.emplace_back("To", header.selfAddress);
  lines.emplace_back("From", header.sender);
  lines.emplace_back("Type", formatText("0x%04X", header.coretype));
  if (!header.subject.empty()) lines.emplace_back("Subject", header.subject);
  lines.emplace_back("MsgID", header.messageId);
  if (header.localDate != nullptr) {
    const std::tm& d = *header.localDate;
    lines.emplace_back("Date", formatText("%04u%02u%02u%02u%02u%02u", static_cast<unsigned>(d.tm_year) + 1900u,
                                          static_cast<unsigned>(d.tm_mon) + 1u, static_cast<unsigned>(d.tm_mday),
                                          static_cast<unsigned>(d.tm_hour), static_cast<unsigned>(d.tm_min),
                                          static_cast<unsigned>(d.tm_sec)));
  }
  if (!header.fileName.empty()) lines.emplace_back("Filename", header.fileName);
  return fittedLines(std::move(lines), true, header.messageId);
}

}  // namespace trasvik
