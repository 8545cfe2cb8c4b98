// The ".env" envelope as read, fed in pieces of every size; and the lines
// of a received envelope.
#include <gtest/gtest.h>

#include <string>

#include "uarule/envelope.h"

namespace gateway_testing {
namespace {

using trasvik::EnvelopeParser;
using trasvik::EnvelopeValues;

std::string shown(const EnvelopeValues& v) {
  return v.to + "|" + v.subject + "|" + v.type + "|" + v.filename + "|" + (v.lostLastLine ? "lost" : "whole");
}

// Reads `file` fed in pieces of `piece` bytes; the values must come out the
// same for every piece size, from one byte (the way the service was once
// asked) to the whole file.
std::string parse(const std::string& file) {
  std::string first;
  for (std::size_t piece = 1; piece <= file.size() + 1; ++piece) {
    EnvelopeParser parser;
    for (std::size_t at = 0; at < file.size(); at += piece) parser.feed(std::string_view(file).substr(at, piece));
    const std::string values = shown(parser.finish());
    if (piece == 1) first = values;
    EXPECT_EQ(values, first) << "piece " << piece;
  }
  return first;
}

TEST(EnvelopeTest, KeysVerbatimInAnyCaseValuesTrimmedLastNonEmptyValueCounts) {
  EXPECT_EQ(parse("TO: EMAIL@A.B\r\n to: EMAIL@X.Y\nSubject : no\nsubject:\thello \r\nsubject:  \r\n"
                  "TYPE: 0x3a\nfilename report.xml\nFileName:report.xml\nMsgID: 7\n"),
            "EMAIL@A.B|hello|0x3a|report.xml|whole");
}

TEST(EnvelopeTest, LinesAreCutAfter255BytesAndAnUnterminatedLastLineIsLost) {
  const std::string subject(246, 's');  // "subject: " and these make 255 bytes
  // The rest of a long line is a line of its own: ignored without a ':',
  // a value of its key with one.
  EXPECT_EQ(parse("subject: " + subject + std::string(45, 'r') + "\n"), "|" + subject + "|||whole");
  EXPECT_EQ(parse("subject: " + subject + "to: EMAIL@C.D\n"), "EMAIL@C.D|" + subject + "|||whole");
  EXPECT_EQ(parse("subject: x\r\nto: EMAIL@A.B"), "|x|||lost");
  EXPECT_EQ(parse("to: EMAIL@A.B\n\r"), "EMAIL@A.B||||whole");
  // A line ended by the cut is whole, line feed or not.
  EXPECT_EQ(parse("subject: " + subject), "|" + subject + "|||whole");
}

TEST(EnvelopeTest, ReceivedLinesLeaveOutWhatIsUnknownAndKeepEachValueOnOneLine) {
  trasvik::ReceivedEnvelope envelope;
  envelope.sender = "EMAIL@PEER.SVC";
  envelope.messageId = "m1";
  envelope.coretype = 0x1200;
  using Lines = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(trasvik::receivedEnvelopeLines(envelope),
            (Lines{{"From", "EMAIL@PEER.SVC"}, {"MsgID", "m1"}, {"Type", "0x1200"}}));

  std::tm date{};
  date.tm_year = 124;
  date.tm_mon = 0;
  date.tm_mday = 31;
  date.tm_hour = 9;
  date.tm_min = 5;
  date.tm_sec = 7;
  envelope.selfAddress = "EMAIL@GATE.SVC";
  envelope.subject = "Hi\r\nTo: EMAIL@EVIL.SVC";
  envelope.localDate = &date;
  envelope.coretype = 0x3a;
  envelope.fileName = "a\nb.xml";
  EXPECT_EQ(trasvik::receivedEnvelopeLines(envelope),
            (Lines{{"To", "EMAIL@GATE.SVC"},
                   {"From", "EMAIL@PEER.SVC"},
                   {"Subject", "Hi  To: EMAIL@EVIL.SVC"},
                   {"Date/Time", "20240131/090507"},
                   {"MsgID", "m1"},
                   {"Type", "0x003A"},
                   {"Filename", "a b.xml"}}));
}

}  // namespace
}  // namespace gateway_testing
