// The header of a received ".msg" file and the lines of a received
// envelope, for any values a sender and the service may give: every line,
// its CR LF included, within kLongestWrittenLine bytes; a value that fits is
// written byte for byte, a longer one cut to a start of it; and the
// gateway's own readers read back the values written, the .msg body intact.
#include <algorithm>

#include "fuzz_support.h"
#include "msgrule/msg_file.h"
#include "rule/received_lines.h"
#include "rule/rule_text.h"
#include "uarule/envelope.h"

namespace {

using trasvik::HeaderLines;

struct Facts {
  std::string selfAddress, sender, subject, messageId, fileName;
  std::uint16_t coretype;
  const std::tm* localDate;
};

// What a value becomes on its line: a CR or LF would end it, a blank does
// not.
std::string onItsLine(std::string value) {
  std::ranges::replace(value, '\r', ' ');
  std::ranges::replace(value, '\n', ' ');
  return value;
}

// The facts as a received .msg header or envelope describes them: both
// name them alike.
template <typename Received>
Received described(const Facts& facts) {
  Received received;
  received.selfAddress = facts.selfAddress;
  received.sender = facts.sender;
  received.subject = facts.subject;
  received.messageId = facts.messageId;
  received.fileName = facts.fileName;
  received.coretype = facts.coretype;
  received.localDate = facts.localDate;
  return received;
}

std::string valueOf(const HeaderLines& lines, const std::string& key) {
  for (const auto& [k, v] : lines) {
    if (k == key) return v;
  }
  return {};
}

// Every line is short, and each value given is the value written or, cut,
// a start of it.
void checkLines(const HeaderLines& lines, bool compact, const Facts& facts) {
  const std::string text = trasvik::headerText(lines, compact);
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    fuzzing::require(end + 2 - start <= trasvik::kLongestWrittenLine, "a written line is short");
  }
  fuzzing::require(start == text.size(), "the lines are whole");
  const std::pair<const char*, const std::string*> given[] = {{"To", &facts.selfAddress},
                                                              {"From", &facts.sender},
                                                              {"Subject", &facts.subject},
                                                              {"MsgID", &facts.messageId},
                                                              {"Filename", &facts.fileName}};
  for (const auto& [key, value] : given) {
    const std::string written = valueOf(lines, key);
    const std::string wanted = onItsLine(*value);
    const std::size_t room = trasvik::kLongestWrittenLine - std::string(key).size() - (compact ? 1 : 2) - 2;
    if (wanted.size() <= room) {
      fuzzing::require(written == wanted, "a value that fits is written as given");
    } else {
      fuzzing::require(wanted.starts_with(written) && written.size() + 3 >= room, "a long value is cut short");
    }
  }
}

std::string withoutLeadingBlanks(const std::string& value) {
  const std::size_t first = value.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : value.substr(first);
}

// The envelope reader's view of a value: without white space at its ends.
std::string trimmed(std::string value) {
  const auto white = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (!value.empty() && white(value.back())) value.pop_back();
  const auto first = std::ranges::find_if_not(value, white);
  return std::string(first, value.end());
}

void checkMsg(const Facts& facts) {
  const HeaderLines lines = trasvik::receivedHeaderLines(described<trasvik::ReceivedHeader>(facts));
  checkLines(lines, true, facts);
  fuzzing::require(valueOf(lines, "Date").size() == (facts.localDate != nullptr ? 14 : 0), "a date has 14 digits");
  for (const bool lineByLine : {true, false}) {
    const std::string head = trasvik::headerText(lines, true) + (lineByLine ? "" : "\r\n");
    const std::string file = head + "Note: body\r\n";
    trasvik::MsgHeaderParser parser(lineByLine);
    parser.feed(file);
    parser.end();
    const trasvik::MsgHeader& read = parser.header();
    fuzzing::require(read.bodyStart == head.size(), "the .msg body starts after the header");
    fuzzing::require(read.to == withoutLeadingBlanks(valueOf(lines, "To")), "To reads back");
    fuzzing::require(read.subject == withoutLeadingBlanks(valueOf(lines, "Subject")), "Subject reads back");
    fuzzing::require(read.filename == withoutLeadingBlanks(valueOf(lines, "Filename")), "Filename reads back");
    fuzzing::require(read.type == valueOf(lines, "Type"), "Type reads back");
  }
}

void checkEnvelope(const Facts& facts) {
  const HeaderLines lines = trasvik::receivedEnvelopeLines(described<trasvik::ReceivedEnvelope>(facts));
  checkLines(lines, false, facts);
  trasvik::EnvelopeParser parser;
  parser.feed(trasvik::headerText(lines, false));
  const trasvik::EnvelopeValues read = parser.finish();
  fuzzing::require(!read.lostLastLine, "an envelope ends with a whole line");
  fuzzing::require(read.to == trimmed(valueOf(lines, "To")), "To reads back");
  fuzzing::require(read.subject == trimmed(valueOf(lines, "Subject")), "Subject reads back");
  fuzzing::require(read.filename == trimmed(valueOf(lines, "Filename")), "Filename reads back");
  fuzzing::require(read.type == valueOf(lines, "Type"), "Type reads back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FieldReader fields(data, size);
  Facts facts;
  facts.coretype = static_cast<std::uint16_t>(fields.number(2));
  const auto date = static_cast<long long>(fields.number(8));
  facts.selfAddress = fields.text(600);
  facts.sender = fields.text(600);
  facts.subject = fields.text(4000);
  facts.messageId = fields.text(600);
  facts.fileName = fields.text(600);
  std::tm local{};
  facts.localDate = trasvik::messageLocalTime(date, facts.messageId, local) ? &local : nullptr;
  if (facts.localDate != nullptr) {
    fuzzing::require(local.tm_year >= 1 - 1900 && local.tm_year <= 9999 - 1900, "a written date has four digits");
  }
  checkMsg(facts);
  checkEnvelope(facts);
  return 0;
}
