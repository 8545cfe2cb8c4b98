// Sending envelope pairs: what reaches the service for each envelope, the
// pairs a rule takes, the lines an envelope is read as, pairs moved to the
// error directory, and the limits of a pass.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "support/gateway_setup.h"

namespace gateway_testing {
namespace {

using testing_support::kWindows;
using testing_support::readFile;

// What the store listing shows of a posted message's subject, core type and
// attachment.
std::string posted(const std::string& subject, const std::string& coretype, const std::string& name,
                   std::size_t bytes) {
  return "subject " + listed(subject) + "  coretype: \"" + coretype + "\"\n      attachment " + listed(name) + ", " +
         std::to_string(bytes) + " bytes, protection level 2";
}

class UaSendTest : public testing::Test {
 protected:
  UaSendTest() {
    setup.useMainRule("FILE");
    setup.set("trasvik", "loops", "1");
  }

  // A UA rule sending the pairs of directory `name`.
  std::string uaRule(const std::string& key, const std::string& name, const std::string& compatibility) {
    setup.set("rules", key, name);
    setup.set(name, "type", "UA");
    setup.set(name, "out", setup.makeDirectory(name));
    setup.set(name, "compatibility_option", compatibility);
    return setup.makeDirectory(name);
  }
  // Writes the pair `base`.env and `base`.001 into directory `rule`.
  void pair(const std::string& rule, const std::string& base, const std::string& envelope,
            const std::string& data = "<data/>") {
    setup.directory().write(rule + "/" + base + ".env", envelope);
    setup.directory().write(rule + "/" + base + ".001", data);
  }
  std::string sentRecord(const std::string& rule, const std::string& path, const std::string& attachment) const {
    return "Rule [" + rule + "]: File \"" + path + "\" sent, to: \"" + peer + "\", " +
           (attachment.empty() ? "no attachment name" : "attachment name: \"" + attachment + "\"");
  }
  std::string log() const { return readFile(setup.directory().file("gateway.log")); }

  GatewaySetup setup;
  const std::string peer = addressOf(kPeerTicker);
  const std::string error = setup.directory().file("error") + "/";
};

// A pair whose data file its producer still writes waits for the writer.
TEST_F(UaSendTest, APairWhoseDataFileIsStillWrittenWaitsForItsWriter) {
  const std::string out = uaRule("rule1", "out", "0");
  pair("out", "late", "to: " + peer + "\nsubject: late\n", "first half");
  {
    auto writer = holdOpen(out + "late.001", Hold::kWriting);
    ASSERT_NE(writer, nullptr);
    ASSERT_EQ(setup.runGateway(), 0) << log();
    EXPECT_EQ(setup.listStore().find("attachment"), std::string::npos) << setup.listStore();
    setup.directory().write("out/late.001", "first half, second half");
  }
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_NE(setup.listStore().find(posted("late", "1200", "late", 23)), std::string::npos) << setup.listStore();
  EXPECT_TRUE(directoryNames(out).empty());
}

TEST_F(UaSendTest, EachPairIsPostedAsItsEnvelopeSaysAndThenMovedOrDeleted) {
  const std::string sent = setup.makeDirectory("sent");
  const std::string kept = uaRule("rule1", "kept", "0");
  setup.set("kept", "sent", sent);
  const std::string dropped = uaRule("rule2", "dropped", "0");
  pair("kept", "hello", "to: " + peer + "\nsubject: hello\nfilename: report.xml\n");
  // Without a file name the data file's own name less ".001" is sent.
  pair("kept", "plain", "to: " + peer + "\nsubject: plain\n");
  setup.directory().write("sent/hello.txt", "taken");
  // Quotes, backslashes and U+2028 (a line end inside a script literal) in
  // the subject and the name reach the service intact.
  const std::string subject = "Say \"hi\" \\ \xE2\x80\xA8 ok\");throw 1;(\"";
  const std::string name = "a\"b\\c\xE2\x80\xA9.txt";
  pair("dropped", "hostile", "to: " + peer + "\nsubject: " + subject + "\nfilename: " + name + "\n");
  // Tools that write upper-case extensions: their envelopes are taken as
  // well, and keep their names.
  setup.directory().write("kept/LOUD.ENV", "to: " + peer + "\nsubject: loud\n");
  setup.directory().write("kept/LOUD.001", "<data/>");
  setup.directory().write("dropped/Quiet.Env", "to: " + peer + "\nsubject: quiet\n");
  setup.directory().write("dropped/Quiet.001", "<data/>");
  ASSERT_EQ(setup.runGateway(), 0) << log();

  const std::string store = setup.listStore();
  EXPECT_NE(store.find(posted("hello", "1200", "report.xml", 7)), std::string::npos) << store;
  EXPECT_NE(store.find(posted("plain", "1200", "plain", 7)), std::string::npos) << store;
  EXPECT_NE(store.find(posted(subject, "1200", name, 7)), std::string::npos) << store;
  EXPECT_NE(store.find(posted("loud", "1200", "LOUD", 7)), std::string::npos) << store;
  EXPECT_NE(store.find(posted("quiet", "1200", "Quiet", 7)), std::string::npos) << store;
  EXPECT_EQ(setup.countRecords("INFO", sentRecord("kept", kept + "hello.001", "report.xml")), 1);
  EXPECT_EQ(setup.countRecords("INFO", sentRecord("kept", kept + "plain.001", "plain")), 1);
  // In sent, a base any file uses is not taken: hello.txt makes it hello (2).
  EXPECT_EQ(directoryNames(sent), (std::vector<std::string>{"LOUD.001", "LOUD.ENV", "hello (2).001", "hello (2).env",
                                                            "hello.txt", "plain.001", "plain.env"}));
  EXPECT_TRUE(directoryNames(kept).empty() && directoryNames(dropped).empty());
}

TEST_F(UaSendTest, CompatibilityOptionChoosesTheTypeAndTheEnvelopesAndTheName) {
  const std::string bits0 = uaRule("rule1", "bits0", "0");
  const std::string bit0 = uaRule("rule2", "bit0", "1");
  setup.set("bit0", "coretype", "2a0");
  const std::string bit1 = uaRule("rule3", "bit1", "2");
  pair("bits0", "typed", "to: " + peer + "\nsubject: typed\nTYPE: 0x3a\n");
  pair("bits0", "wrong", "to: " + peer + "\nsubject: wrong\ntype: 12G4\n");
  // Bit 0: the rule's core type, the envelope's type unread.
  pair("bit0", "ignored", "to: " + peer + "\nsubject: ignored\ntype: 12G4\n");
  // Bit 1: only "bbs?????.env", sent without a name.
  pair("bit1", "bbs00001", "to: " + peer + "\nsubject: short\nfilename: report.xml\n");
  pair("bit1", "report", "to: " + peer + "\nsubject: long\n");
  ASSERT_EQ(setup.runGateway(), 0) << log();

  const std::string store = setup.listStore();
  EXPECT_NE(store.find(posted("typed", "003A", "typed", 7)), std::string::npos) << store;
  EXPECT_NE(store.find(posted("ignored", "02A0", "ignored", 7)), std::string::npos) << store;
  EXPECT_NE(store.find("subject \"short\"  coretype: \"1200\"\n      attachment \"\", 7 bytes"), std::string::npos)
      << store;
  EXPECT_EQ(setup.countRecords("ERROR", "Wrong type: 12G4 in envelope \"wrong.env\""), 1);
  EXPECT_EQ(directoryNames(error), (std::vector<std::string>{"wrong.001", "wrong.env"}));
  EXPECT_EQ(setup.countRecords("INFO", sentRecord("bit1", bit1 + "bbs00001.001", "")), 1);
  EXPECT_EQ(directoryNames(bit1), (std::vector<std::string>{"report.001", "report.env"}));
  EXPECT_TRUE(directoryNames(bits0).empty() && directoryNames(bit0).empty());
}

TEST_F(UaSendTest, EnvelopesAreReadLineByLineAndFailedPairsGoToTheErrorDirectory) {
  const std::string out = uaRule("rule1", "ua", "0");
  const std::string longSubject(246, 's');  // "subject: " and these fill a line of 255 bytes
  pair("ua", "long", "to: " + peer + "\r\nsubject: " + longSubject + std::string(45, 'r') + "\r\n");
  pair("ua", "blank", " to: " + peer + "\nsubject: blank\n");
  pair("ua", "unfinished", "subject: unfinished\nto: " + peer);
  pair("ua", "wrong", "to: someone@else\n");
  setup.directory().write("ua/alone.env", "to: " + peer + "\n");
  ASSERT_EQ(setup.runGateway(), 0) << log();

  EXPECT_NE(setup.listStore().find(posted(longSubject, "1200", "long", 7)), std::string::npos) << setup.listStore();
  EXPECT_EQ(setup.countRecords("ERROR", "No to: address in envelope \"blank.env\""), 1);
  EXPECT_EQ(setup.countRecords("ERROR", "No to: address in envelope \"unfinished.env\""), 1);
  EXPECT_EQ(setup.countRecords("WARNING", "Last line of envelope \"unfinished.env\" has no line feed and is ignored"),
            1);
  EXPECT_EQ(setup.countRecords("ERROR", "wrong TO address \"someone@else\" in envelope \"wrong.env\""), 1);
  EXPECT_EQ(setup.countRecords("ERROR", "No .001 file for \"alone.env\" envelope"), 1);
  EXPECT_EQ(directoryNames(error), (std::vector<std::string>{"alone.env", "blank.001", "blank.env", "unfinished.001",
                                                    "unfinished.env", "wrong.001", "wrong.env"}));
  EXPECT_TRUE(directoryNames(out).empty());

  // A refused post: the pair goes to the error directory, and the
  // administrator is told.
  pair("ua", "refused", "to: " + peer + "\n");
  setup.inject("PostMessageTo", 1, "error", "post refused");
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_EQ(setup.countRecords("ERROR", "Can't post message: post refused"), 1);
  EXPECT_NE(setup.listStore().find("text \"Can't post message: post refused\""), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(error + "refused.001") && std::filesystem::exists(error + "refused.env"));
}

TEST_F(UaSendTest, SwitchAfterAdminMailOnlyAndDetachedLevelsLeavePairsWhereTheyAre) {
  const std::string out = uaRule("rule1", "ua", "0");
  setup.set("trasvik", "switchafter", "2");
  for (const char* base : {"a", "b", "c", "d", "e"}) pair("ua", base, "to: " + peer + "\n");
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_EQ(directoryNames(out).size(), 6u) << testing::PrintToString(directoryNames(out));  // three pairs wait

  // Neither looks at the directory: the envelope without data file stays.
  setup.directory().write("ua/alone.env", "to: " + peer + "\n");
  setup.set("trasvik", "admin_mail_only", "1");
  ASSERT_EQ(setup.runGateway(), 0) << log();
  setup.set("trasvik", "admin_mail_only", "0");
  setup.set("ua", "protectionlevel", "DetachedSignedEcripted");
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_EQ(setup.countRecords("ERROR", "Can't post messages in .env format with detached signature"), 1);
  EXPECT_EQ(directoryNames(out).size(), 7u) << testing::PrintToString(directoryNames(out));
  EXPECT_EQ(setup.countRecords("ERROR", "No .001 file for \"alone.env\" envelope"), 0);
  const std::string store = setup.listStore();
  EXPECT_NE(store.find("Inbox email@peer.svc: 2 messages\n"), std::string::npos) << store;
}

// A data file that is a link to a file outside (POSIX), or one that another
// program holds open with no sharing (Windows), is never handed to the
// service, which would read it with its own rights; the pair stays, and is
// reported once.
TEST_F(UaSendTest, APairWhoseDataFileIsALinkOrHeldByAnotherProgramIsNotSent) {
  const std::string out = uaRule("rule1", "linked", "0");
  setup.directory().write("linked/x.env", "to: " + peer + "\n");
  std::unique_ptr<platform::RandomAccessFile> holder;
  std::string refusal;
  if (kWindows) {
    holder = holdOpen(setup.directory().write("linked/x.001", "root only"), Hold::kExclusively);
    ASSERT_NE(holder, nullptr);
    refusal = "cannot be read: another program has it open without sharing it";
  } else {
    const std::string secret = setup.directory().write("secret.txt", "root only");
    std::filesystem::create_symlink(secret, out + "x.001");
    refusal = "is a symbolic link";
  }
  setup.set("trasvik", "loops", "2");
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_EQ(setup.listStore().find("root only"), std::string::npos);
  EXPECT_EQ(setup.listStore().find("attachment \"x"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(out + "x.env"));
  EXPECT_EQ(setup.countRecords("ERROR", "Can't init stream, file: \"" + out + "x.001\", " + refusal), 1) << log();
}

}  // namespace
}  // namespace gateway_testing
