// The ".msg" header as read, in both forms, fed in pieces of every size;
// and the header of a received file read back.
#include <gtest/gtest.h>

#include <string>

#include "msgrule/msg_file.h"

namespace gateway_testing {
namespace {

using trasvik::MsgHeader;
using trasvik::MsgHeaderParser;

// Reads `file` fed in pieces of `piece` bytes; the header must come out the
// same for every piece size, from one byte (the way the service was once
// asked) to the whole file.
MsgHeader parse(const std::string& file, bool lineByLine) {
  MsgHeader first;
  for (std::size_t piece = 1; piece <= file.size() + 1; ++piece) {
    MsgHeaderParser parser(lineByLine);
    for (std::size_t at = 0; at < file.size() && !parser.done(); at += piece) {
      parser.feed(std::string_view(file).substr(at, piece));
    }
    parser.end();
    const MsgHeader& header = parser.header();
    if (piece == 1) {
      first = header;
      continue;
    }
    EXPECT_EQ(header.to + "|" + header.subject + "|" + header.type + "|" + header.filename + "|" +
                  std::to_string(header.bodyStart),
              first.to + "|" + first.subject + "|" + first.type + "|" + first.filename + "|" +
                  std::to_string(first.bodyStart))
        << "piece " << piece;
  }
  return first;
}

std::string body(const std::string& file, const MsgHeader& header) { return file.substr(header.bodyStart); }

TEST(MsgFileTest, LineByLineFormEndsAtTheFirstLineThatIsNoKnownHeaderLine) {
  const std::string file =
      "TO: EMAIL@A.B\r\nSubject:   Report  \r\nsubject: Final \nFrom: x\r\nNote: see below\r\nfilename: no\r\n";
  MsgHeader header = parse(file, true);
  EXPECT_EQ(header.to, "EMAIL@A.B");
  EXPECT_EQ(header.subject, "Final ");  // the last value; leading blanks go, trailing ones stay
  EXPECT_EQ(body(file, header), "Note: see below\r\nfilename: no\r\n");
  EXPECT_EQ(header.filename, "");

  // No ':' or a ':' first ends the header as well; so does the end of the
  // file, and the unfinished last line is body.
  for (const std::string first : {"Quarterly figures\n", ": x\n", "\r\n"}) {
    const std::string text = "to:EMAIL@A.B\n" + first + "type: 2a0\n";
    header = parse(text, true);
    EXPECT_EQ(body(text, header), first + "type: 2a0\n");
    EXPECT_EQ(header.type, "");
  }
  const std::string unfinished = "to:EMAIL@A.B\ntype: 2a0";
  header = parse(unfinished, true);
  EXPECT_EQ(body(unfinished, header), "type: 2a0");
  EXPECT_EQ(header.type, "");
  EXPECT_EQ(body("to:EMAIL@A.B\n", parse("to:EMAIL@A.B\n", true)), "");

  // A line holds 255 bytes; CR bytes do not count. Its rest is the next line.
  const std::string longLine = "subject:" + std::string(247, 's') + "\r" + "more\nto:EMAIL@A.B\n";
  header = parse(longLine, true);
  EXPECT_EQ(header.subject, std::string(247, 's'));
  EXPECT_EQ(body(longLine, header), "\rmore\nto:EMAIL@A.B\n");
}

TEST(MsgFileTest, BlankLineFormSkipsOtherLinesAndEndsAtTheFirstEmptyLine) {
  const std::string file = "Note: skipped\r\nto: EMAIL@A.B\r\nno colon\r\nFILENAME: a.txt\r\n\r\nsubject: body\r\n";
  MsgHeader header = parse(file, false);
  EXPECT_EQ(header.to, "EMAIL@A.B");
  EXPECT_EQ(header.filename, "a.txt");
  EXPECT_EQ(header.subject, "");
  EXPECT_EQ(body(file, header), "subject: body\r\n");

  // Without an empty line the body is empty; an unfinished line is none of
  // the header. A line of exactly 255 bytes is followed by an empty one.
  const std::string noBlank = "to: EMAIL@A.B\nsubject: Report\nQuarterly figures\ntype: 12";
  header = parse(noBlank, false);
  EXPECT_EQ(header.subject, "Report");
  EXPECT_EQ(header.type, "");
  EXPECT_EQ(body(noBlank, header), "");
  const std::string exact = "subject:" + std::string(247, 's') + "\nrest";
  EXPECT_EQ(body(exact, parse(exact, false)), "rest");
}

TEST(MsgFileTest, ReceivedHeaderReadsBackInBothFormsAndKeepsEveryValueOnItsLine) {
  std::tm date{};
  date.tm_year = 2026 - 1900;
  date.tm_mon = 11;
  date.tm_mday = 8;
  date.tm_hour = 9;
  date.tm_min = 5;
  date.tm_sec = 7;
  trasvik::ReceivedHeader facts;
  facts.selfAddress = "EMAIL@GATE.SVC";
  facts.sender = "EMAIL@PEER.SVC";
  facts.coretype = 0x2A0;
  facts.subject = "Hi\r\nTo: EMAIL@EVIL.SVC";
  facts.messageId = "m-1";
  facts.localDate = &date;
  facts.fileName = "data\n.bin";
  std::string header;
  for (const auto& [key, value] : trasvik::receivedHeaderLines(facts)) header += key + ":" + value + "\r\n";
  EXPECT_EQ(header,
            "To:EMAIL@GATE.SVC\r\nFrom:EMAIL@PEER.SVC\r\nType:0x02A0\r\nSubject:Hi  To: EMAIL@EVIL.SVC\r\n"
            "MsgID:m-1\r\nDate:20261208090507\r\nFilename:data .bin\r\n");

  for (const bool lineByLine : {true, false}) {
    const std::string file = header + (lineByLine ? "" : "\r\n") + "Note: bytes\r\n";
    const MsgHeader read = parse(file, lineByLine);
    EXPECT_EQ(read.to, "EMAIL@GATE.SVC");
    EXPECT_EQ(read.subject, "Hi  To: EMAIL@EVIL.SVC");
    EXPECT_EQ(read.type, "0x02A0");
    EXPECT_EQ(read.filename, "data .bin");
    EXPECT_EQ(body(file, read), "Note: bytes\r\n");
  }

  facts.selfAddress.clear();
  facts.subject.clear();
  facts.localDate = nullptr;
  facts.fileName.clear();
  header.clear();
  for (const auto& [key, value] : trasvik::receivedHeaderLines(facts)) header += key + ":" + value + "\r\n";
  EXPECT_EQ(header, "From:EMAIL@PEER.SVC\r\nType:0x02A0\r\nMsgID:m-1\r\n");
}

}  // namespace
}  // namespace gateway_testing
