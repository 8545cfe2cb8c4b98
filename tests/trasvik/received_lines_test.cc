// Received ".msg" files and envelopes as written, read back with the
// gateway's own readers, for values of every length; and the dates their
// Date lines can hold.
#include <gtest/gtest.h>

#include <string>

#include "msgrule/msg_file.h"
#include "rule/received_lines.h"
#include "rule/rule_text.h"
#include "uarule/envelope.h"

namespace gateway_testing {
namespace {

using trasvik::HeaderLines;

std::string valueOf(const HeaderLines& lines, const std::string& key) {
  for (const auto& [k, v] : lines) {
    if (k == key) return v;
  }
  return "<none>";
}

// Every line, its CR LF included, stays within kLongestWrittenLine bytes.
void expectShortLines(const std::string& file) {
  std::size_t start = 0;
  for (std::size_t end; (end = file.find("\r\n", start)) != std::string::npos; start = end + 2) {
    EXPECT_LE(end + 2 - start, trasvik::kLongestWrittenLine);
  }
  EXPECT_EQ(start, file.size());
}

// A value the way a sender may give it: ASCII and two- and three-byte UTF-8
// characters, so that cuts meet every kind of character boundary.
std::string valueOfLength(std::size_t length) {
  const std::string pattern = "ab\xD0\xB6-\xE2\x82\xAC";
  std::string value;
  while (value.size() < length) value += pattern;
  return value.substr(0, length);
}

TEST(ReceivedLinesTest, ValuesOfEveryLengthReadBackAsWrittenOnLinesShorterThan255Bytes) {
  for (std::size_t length = 1; length <= 4096; ++length) {
    SCOPED_TRACE(length);
    const std::string value = valueOfLength(length);

    trasvik::ReceivedHeader header;
    header.selfAddress = header.sender = header.subject = header.fileName = value;
    header.messageId = "m1";
    const HeaderLines msgLines = trasvik::receivedHeaderLines(header);
    const std::string subject = valueOf(msgLines, "Subject");
    // A value that fits is written byte for byte; a longer one is cut just
    // short of the limit, before a whole character.
    const std::size_t room = trasvik::kLongestWrittenLine - std::string("Subject:\r\n").size();
    EXPECT_EQ(subject, value.substr(0, length <= room ? length : subject.size()));
    EXPECT_GE(subject.size(), std::min(length, room - 2));
    for (const bool lineByLine : {true, false}) {
      const std::string file = trasvik::headerText(msgLines, true) + (lineByLine ? "" : "\r\n") + "body";
      expectShortLines(file.substr(0, file.size() - 4));
      trasvik::MsgHeaderParser parser(lineByLine);
      parser.feed(file);
      parser.end();
      const trasvik::MsgHeader& read = parser.header();
      EXPECT_EQ(read.to, valueOf(msgLines, "To"));
      EXPECT_EQ(read.subject, subject);
      EXPECT_EQ(read.filename, valueOf(msgLines, "Filename"));
      EXPECT_EQ(file.substr(read.bodyStart), "body");
    }

    trasvik::ReceivedEnvelope envelope;
    envelope.selfAddress = envelope.sender = envelope.subject = envelope.fileName = value;
    envelope.messageId = "m1";
    const HeaderLines envelopeLines = trasvik::receivedEnvelopeLines(envelope);
    const std::string file = trasvik::headerText(envelopeLines, false);
    expectShortLines(file);
    trasvik::EnvelopeParser parser;
    parser.feed(file);
    const trasvik::EnvelopeValues read = parser.finish();
    EXPECT_EQ(read.to, valueOf(envelopeLines, "To"));
    EXPECT_EQ(read.subject, valueOf(envelopeLines, "Subject"));
    EXPECT_EQ(read.filename, valueOf(envelopeLines, "Filename"));
    EXPECT_FALSE(read.lostLastLine);
  }
}

TEST(ReceivedLinesTest, ASubjectCannotSpillOverIntoALineOfItsOwn) {
  // The lengths at which a byte-wise reader once took the rest of the
  // subject as a To line of the sender's choice.
  trasvik::ReceivedHeader header;
  header.selfAddress = "EMAIL@GATE.SVC";
  header.subject = std::string(247, 's') + "to: EMAIL@EVIL.X";
  trasvik::MsgHeaderParser msg(true);
  msg.feed(trasvik::headerText(trasvik::receivedHeaderLines(header), true));
  msg.end();
  EXPECT_EQ(msg.header().to, "EMAIL@GATE.SVC");

  trasvik::ReceivedEnvelope envelope;
  envelope.selfAddress = "EMAIL@GATE.SVC";
  envelope.subject = std::string(246, 's') + "to: EMAIL@EVIL.X";
  trasvik::EnvelopeParser parser;
  parser.feed(trasvik::headerText(trasvik::receivedEnvelopeLines(envelope), false));
  EXPECT_EQ(parser.finish().to, "EMAIL@GATE.SVC");
}

TEST(ReceivedLinesTest, DatesOutsideTheYears1To9999AreNotWritten) {
  std::tm local{};
  EXPECT_TRUE(trasvik::messageLocalTime(1700000000, "m", local));
  EXPECT_EQ(local.tm_year, 123);
  EXPECT_FALSE(trasvik::messageLocalTime(0, "m", local));  // the message has none
  for (const long long date : {-62200000000LL, 253500000000LL, 67767976233316800LL, 0x7fffffffffffffffLL,
                               -0x7fffffffffffffffLL - 1}) {
    EXPECT_FALSE(trasvik::messageLocalTime(date, "m", local)) << date;
  }
}

}  // namespace
}  // namespace gateway_testing
