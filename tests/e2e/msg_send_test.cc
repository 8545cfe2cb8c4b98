// Sending ".msg" files: both header forms, the attachment name, the files a
// rule takes, files moved to the error directory, rules that send nothing,
// and values that must reach the service intact.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/gateway_setup.h"

namespace gateway_testing {
namespace {

using testing_support::readFile;

// The gateway sends to itself: a FILE rule as main rule saves what comes
// back in the second pass, byte for byte.
class MsgSendTest : public testing::Test {
 protected:
  MsgSendTest() {
    setup.set("trasvik", "loops", "2");
    setup.set("trasvik", "sleeptime", "1");
    setup.set("rules", "main", "main");
    setup.set("main", "type", "FILE");
    setup.set("main", "in", in);
  }

  // A MSG rule sending the files of directory `name`.
  std::string msgRule(const std::string& key, const std::string& name, const std::string& compatibility) {
    setup.set("rules", key, name);
    setup.set(name, "type", "MSG");
    setup.set(name, "out", setup.makeDirectory(name));
    setup.set(name, "compatibility_option", compatibility);
    return setup.makeDirectory(name);
  }
  std::string sentRecord(const std::string& rule, const std::string& path, const std::string& to,
                         const std::string& attachment) const {
    return "Rule [" + rule + "]: File \"" + path + "\" sent, to: \"" + to + "\", " +
           (attachment.empty() ? "no attachment name" : "attachment name: \"" + attachment + "\"");
  }
  int receivedWith(const std::string& subject, const std::string& coretype) const {
    const std::string tail =
        "\", from: \"" + addressOf(kGatewayTicker) + "\", subj: \"" + subject + "\", coretype: 0x" + coretype;
    int count = 0;
    for (const std::string& record : setup.logRecords()) {
      if (record.find("INFO Brivane: Msg received, Id: \"") != std::string::npos && record.size() >= tail.size() &&
          record.compare(record.size() - tail.size(), tail.size(), tail) == 0) {
        ++count;
      }
    }
    return count;
  }
  std::string log() const { return readFile(setup.directory().file("gateway.log")); }

  GatewaySetup setup;
  const std::string in = setup.makeDirectory("in");
  const std::string self = addressOf(kGatewayTicker);
};

TEST_F(MsgSendTest, BothHeaderFormsFindTheValuesAndTheBody) {
  const std::string lines = msgRule("rule1", "lines", "1");
  const std::string blank = msgRule("rule2", "blank", "0");
  // Line by line: keys in any case, trailing blanks kept, the last value
  // counts, a known key (from) is swallowed and an unknown one (Note) is
  // the body's first line.
  setup.directory().write("lines/a.msg", "TO: " + self +
                                             "\r\nSubject: first\r\nsubject: Report  \r\ntype: 0x2a0\r\n"
                                             "from: swallowed\r\nNote: see below\r\nQuarterly figures\r\n");
  setup.directory().write("lines/b.msg", "to:" + self + "\nFileName: b.txt\nQuarterly figures\n");
  // The end of the file inside the header: the unfinished line is the body.
  setup.directory().write("lines/c.msg", "to: " + self + "\nsubject: unfinished");
  // Blank-line form: other lines skipped, the empty line ends the header.
  setup.directory().write("blank/d.msg",
                          "Note: skipped\r\nto: " + self + "\r\nsubject: Blank\r\n\r\nsubject: body\r\n");
  setup.directory().write("blank/e.msg", "to: " + self + "\nsubject: Empty\nQuarterly figures\n");
  ASSERT_EQ(setup.runGateway(), 0) << log();

  EXPECT_EQ(directoryNames(in), (std::vector<std::string>{"a", "b.txt", "c", "d", "e"}));
  EXPECT_EQ(readFile(in + "a"), "Note: see below\r\nQuarterly figures\r\n");
  EXPECT_EQ(readFile(in + "b.txt"), "Quarterly figures\n");
  EXPECT_EQ(readFile(in + "c"), "subject: unfinished");
  EXPECT_EQ(readFile(in + "d"), "subject: body\r\n");
  EXPECT_EQ(readFile(in + "e"), "");
  EXPECT_EQ(receivedWith("Report  ", "02A0"), 1);
  EXPECT_EQ(receivedWith("", "1200"), 2);
  EXPECT_EQ(receivedWith("Blank", "1200"), 1);
  EXPECT_EQ(receivedWith("Empty", "1200"), 1);
  EXPECT_EQ(setup.countRecords("INFO", sentRecord("lines", lines + "a.msg", self, "a")), 1);
  EXPECT_EQ(setup.countRecords("INFO", sentRecord("lines", lines + "b.msg", self, "b.txt")), 1);
  EXPECT_TRUE(directoryNames(lines).empty() && directoryNames(blank).empty());  // no sent directory: deleted
}

// A .msg file its producer still writes is not posted cut short (and again
// whole later): it waits until the writer has closed it.
TEST_F(MsgSendTest, AFileStillWrittenWaitsForItsWriter) {
  const std::string out = msgRule("rule1", "out", "1");
  setup.directory().write("out/late.msg", "to: " + self + "\nfirst half");
  const std::string path = out + "late.msg";
  {
    auto writer = holdOpen(path, Hold::kWriting);
    ASSERT_NE(writer, nullptr);
    ASSERT_EQ(setup.runGateway(), 0) << log();
    EXPECT_EQ(directoryNames(out), (std::vector<std::string>{"late.msg"}));
    EXPECT_EQ(setup.countRecordsStartingWith("Can't init stream, file: \"" + path + "\""), 1) << log();
    setup.directory().write("out/late.msg", "to: " + self + "\nfirst half, second half");
  }
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_EQ(directoryNames(in), (std::vector<std::string>{"late"}));
  EXPECT_EQ(readFile(in + "late"), "first half, second half");
}

TEST_F(MsgSendTest, WithBitOneOnlyFiveCharacterNamesGoAndTheyCarryNoName) {
  const std::string sent = setup.makeDirectory("sent");
  const std::string out = msgRule("rule1", "msg", "3");
  setup.set("msg", "sent", sent);
  setup.directory().write("msg/abcde.msg", "to: " + self + "\nfirst\n");
  setup.directory().write("msg/fghij.MSG", "to: " + self + "\nfilename: f.txt\nsecond\n");
  setup.directory().write("msg/report.msg", "to: " + self + "\nthird\n");
  ASSERT_EQ(setup.runGateway(), 0) << log();

  EXPECT_EQ(directoryNames(out), std::vector<std::string>{"report.msg"});
  EXPECT_EQ(directoryNames(sent), (std::vector<std::string>{"abcde.msg", "fghij.MSG"}));
  // The record shows "filename" as read; the attachment has no name, and is
  // saved under a counter name.
  EXPECT_EQ(setup.countRecords("INFO", sentRecord("msg", out + "abcde.msg", self, "")), 1);
  EXPECT_EQ(setup.countRecords("INFO", sentRecord("msg", out + "fghij.MSG", self, "f.txt")), 1);
  const std::vector<std::string> saved = directoryNames(in);
  ASSERT_EQ(saved.size(), 2u) << testing::PrintToString(saved);
  EXPECT_TRUE(isCounterName(saved[0]) && isCounterName(saved[1]));
  EXPECT_EQ(readFile(in + saved[0]) + readFile(in + saved[1]), "first\nsecond\n");
}

TEST_F(MsgSendTest, FilesThatCannotBeSentGoToTheErrorDirectory) {
  setup.set("trasvik", "loops", "1");
  const std::string out = msgRule("rule1", "msg", "1");
  const std::string error = setup.directory().file("error") + "/";
  setup.directory().write("msg/notype.msg", "to: " + self + "\ntype: 12G0\nbody\n");
  setup.directory().write("msg/noto.msg", "subject: x\nbody\n");
  setup.directory().write("msg/wrong.msg", "to: someone@else\nbody\n");
  setup.directory().write("msg/refused.msg", "to: " + addressOf(kPeerTicker) + "\nbody\n");
  setup.inject("PostMessageTo", 1, "error", "post refused");
  ASSERT_EQ(setup.runGateway(), 0) << log();

  EXPECT_TRUE(directoryNames(out).empty()) << testing::PrintToString(directoryNames(out));
  EXPECT_EQ(directoryNames(error), (std::vector<std::string>{"noto.msg", "notype.msg", "refused.msg", "wrong.msg"}));
  EXPECT_EQ(setup.countRecords("ERROR", "Wrong type: 12G0 in file \"notype.msg\""), 1);
  EXPECT_EQ(setup.countRecords("ERROR", "no to address in file \"noto.msg\""), 1);
  EXPECT_EQ(setup.countRecords("ERROR", "wrong TO address \"someone@else\" in file \"wrong.msg\""), 1);
  EXPECT_EQ(setup.countRecords("ERROR", "Can't post message: post refused"), 1);
  const std::string store = setup.listStore();
  EXPECT_NE(store.find("text \"Can't post message: post refused\""), std::string::npos) << store;
  EXPECT_EQ(store.find("Inbox email@peer.svc"), std::string::npos) << store;
}

TEST_F(MsgSendTest, DetachedLevelsSendNothingAndAdminMailOnlyRestartsTheCount) {
  const std::string out = msgRule("rule1", "msg", "1");
  setup.set("msg", "protectionlevel", "DetachedSigned");
  setup.directory().write("msg/kept.msg", "to: " + self + "\nbody\n");
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_EQ(directoryNames(out), std::vector<std::string>{"kept.msg"});
  EXPECT_EQ(setup.countRecords("ERROR", "Can't post messages in .msg format with detached signature"), 2);

  // One pass under switchafter=3: the first rule's file counts twice (it
  // went on the folder leg); the MSG rule, with admin_mail_only, sends
  // nothing and restarts the count, so the last rule sends two files, not
  // one.
  setup.set("trasvik", "loops", "1");
  setup.set("trasvik", "admin_mail_only", "1");
  setup.set("trasvik", "switchafter", "3");
  setup.set("trasvik", "folderparam", "folder");
  setup.set("folder", "url", "dravont://folder");
  setup.set("msg", "protectionlevel", "1");
  setup.set("rules", "rule1", "first");
  setup.set("rules", "rule2", "msg");
  setup.set("rules", "rule3", "last");
  for (const char* section : {"first", "last"}) {
    setup.set(section, "type", "FILE");
    setup.set(section, "out", setup.makeDirectory(section));
    setup.set(section, "address", addressOf(kFolderTicker));
  }
  setup.directory().write("first/1.txt", "1");
  for (const char* file : {"a.txt", "b.txt", "c.txt"}) setup.directory().write(std::string("last/") + file, file);
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_EQ(directoryNames(setup.directory().file("last")).size(), 2u) << log();  // one file left, and "err"
  EXPECT_EQ(directoryNames(out), std::vector<std::string>{"kept.msg"});
}

TEST_F(MsgSendTest, QuotesBackslashesAndLineSeparatorsReachTheServiceIntact) {
  setup.set("trasvik", "loops", "1");
  msgRule("rule1", "msg", "1");
  // U+2028 ends a line inside a script literal.
  const std::string subject = "Say \"hi\" \\ \xE2\x80\xA8 ok\");throw 1;(\"";
  const std::string name = "a\"b\\c\xE2\x80\xA9.txt";
  setup.directory().write(
      "msg/x.msg", "to: " + addressOf(kPeerTicker) + "\nsubject: " + subject + "\nfilename: " + name + "\nbody\n");
  ASSERT_EQ(setup.runGateway(), 0) << log();
  const std::string store = setup.listStore();
  EXPECT_NE(store.find("subject " + listed(subject) + "  coretype: \"1200\"\n      attachment " + listed(name) +
                       ", 5 bytes, protection level 2"),
            std::string::npos)
      << store;
}

}  // namespace
}  // namespace gateway_testing
