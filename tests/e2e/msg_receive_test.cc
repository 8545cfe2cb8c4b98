// Receiving for MSG rules: the header of each received ".msg" file, the
// names in every naming mode and form, values from a hostile sender, a
// failed write, and a file that travels there and back.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "support/gateway_setup.h"

namespace gateway_testing {
namespace {

using testing_support::readFile;

// The value of a header line of a received file ("" when it has none).
std::string valueOf(const std::string& file, const std::string& key) {
  const std::size_t at = file.find("\r\n" + key + ":");
  if (at == std::string::npos) return "";
  const std::size_t start = at + key.size() + 3;
  return file.substr(start, file.find("\r\n", start) - start);
}
std::string dateOf(const std::string& file) { return valueOf(file, "Date"); }

class MsgReceiveTest : public testing::Test {
 protected:
  explicit MsgReceiveTest(const std::vector<std::string>& serviceEnvironment = {}) : setup(true, serviceEnvironment) {
    setup.set("trasvik", "loops", "1");
    setup.set("trasvik", "sleeptime", "1");
    setup.set("rules", "main", "main");
    in = msgRule("main", "in", "1", "0");
  }

  std::string msgRule(const std::string& section, const std::string& directory, const std::string& compatibility,
                      const std::string& firm) {
    setup.set(section, "type", "MSG");
    setup.set(section, "in", setup.makeDirectory(directory));
    setup.set(section, "compatibility_option", compatibility);
    setup.set(section, "firm", firm);
    return setup.makeDirectory(directory);
  }
  std::string header(const std::string& from, const std::string& type, const std::string& subject,
                     const std::string& id, const std::string& date, const std::string& fileName,
                     const std::string& to = addressOf(kGatewayTicker)) const {
    return "To:" + to + "\r\nFrom:" + from + "\r\nType:" + type + "\r\n" +
           (subject.empty() ? "" : "Subject:" + subject + "\r\n") + "MsgID:" + id + "\r\nDate:" + date + "\r\n" +
           (fileName.empty() ? "" : "Filename:" + fileName + "\r\n");
  }
  std::string log() const { return readFile(setup.directory().file("gateway.log")); }

  GatewaySetup setup;
  std::string in;
};

TEST_F(MsgReceiveTest, EachAttachmentIsAMsgFileOfTheCompactHeaderAndItsBytes) {
  setup.set("trasvik", "RecvDNinfo", "1");
  const std::string peer = addressOf(kPeerTicker);
  const std::string bytes("Note: \0\xFF bytes\r\n", 17);
  const std::string today = platform::formatTime("%Y%m%d", platform::localTimeNow().calendar);
  const std::string first = setup.deliver(message("Hi", {{"data.bin", bytes}, {"", "nameless"}}, "1200"));
  // A subject whose line break would add a "To:" line; a name with a path.
  const std::string second = setup.deliver(message("Hi\r\nTo: EMAIL@EVIL.SVC\n", {{"../x", "x"}}, ""));
  ASSERT_EQ(setup.runGateway(), 0) << log();

  const std::vector<std::string> saved = directoryNames(in);
  ASSERT_EQ(saved.size(), 6u) << testing::PrintToString(saved);  // three files, each with its ".inf"
  const std::string data = readFile(in + "data.bin.msg");
  EXPECT_EQ(dateOf(data).size(), 14u);
  EXPECT_EQ(dateOf(data).substr(0, 8), today);
  EXPECT_EQ(data, header(peer, "0x1200", "Hi", first, dateOf(data), "data.bin") + bytes);
  EXPECT_EQ(readFile(in + "data.bin.inf").substr(0, 10), "\xE2\xEB\xE0\xE4\xE5\xEB\xE5\xF6: ");
  ASSERT_TRUE(isCounterName(saved[0], ".inf") && isCounterName(saved[1], ".msg")) << testing::PrintToString(saved);
  const std::string nameless = readFile(in + saved[1]);
  EXPECT_EQ(nameless, header(peer, "0x1200", "Hi", first, dateOf(nameless), "") + "nameless");
  const std::string hostile = readFile(in + "x.msg");
  EXPECT_EQ(hostile, header(peer, "0x0000", "Hi  To: EMAIL@EVIL.SVC ", second, dateOf(hostile), "../x") + "x");
  EXPECT_NE(log().find("INFO Brivane: Rule [main]: Msg received, from \"" + peer +
                       "\", attachment name: \"data.bin\". Saved to file \"" + in +
                       "data.bin.msg\"\nsubject: CN=PEER Signer, O=SVC\nkey from 2024-01-01 00:00:00 to 2026-12-31 "
                       "23:59:59 certificate from 2024-02-01 00:00:00 to 2027-01-31 23:59:59 serial 0APEER\n"),
            std::string::npos)
      << log();
}

TEST_F(MsgReceiveTest, CompatibilityOptionAndFirmChooseTheNameAndTheEmptyLine) {
  const std::string today = platform::formatTime("%y%m%d", platform::utcTimeNow());
  struct Case {
    const char* section;
    const char* compatibility;
    const char* firm;
  };
  const std::vector<Case> cases{{"c0f0", "0", "0"}, {"c1f1", "1", "1"}, {"c1f2", "1", "2"},
                                {"c2f1", "2", "1"}, {"c3f2", "3", "2"}, {"c2f0", "2", "0"}};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    setup.set("rules", "rule" + std::to_string(i + 1), c.section);
    msgRule(c.section, c.section, c.compatibility, c.firm);
    setup.set(c.section, "subject", c.section);
    setup.deliver(message(c.section, {{"a.txt", "bytes"}}, "1200"));
  }
  setup.directory().write("c0f0/a.txt.msg", "old");
  ASSERT_EQ(setup.runGateway(), 0) << log();

  const auto only = [&](const char* section) {
    const std::vector<std::string> saved = directoryNames(setup.directory().file(section));
    EXPECT_EQ(saved.size(), 1u) << section << testing::PrintToString(saved);
    return saved.empty() ? std::string() : saved[0];
  };
  // Bit 0 clear: an empty line between header and bytes.
  const std::string blank = readFile(setup.directory().file("c0f0/a.txt (2).msg"));
  EXPECT_TRUE(blank.ends_with("\r\nFilename:a.txt\r\n\r\nbytes")) << blank;
  EXPECT_EQ(readFile(setup.directory().file("c0f0/a.txt.msg")), "old");
  // firm 1 and 2 name by date and ticker, without the attachment's extension.
  EXPECT_EQ(only("c1f1").substr(0, 12), today + "-PEER-");
  EXPECT_TRUE(only("c1f1").ends_with(".msg"));
  EXPECT_EQ(only("c1f2"), today + "-PEER-00001.msg");
  EXPECT_TRUE(readFile(setup.directory().file("c1f2/" + only("c1f2"))).ends_with("\r\nFilename:a.txt\r\nbytes"));
  // Bit 1: a counter name, whatever firm says.
  for (const char* section : {"c2f1", "c3f2", "c2f0"}) EXPECT_TRUE(isCounterName(only(section), ".msg")) << section;
  EXPECT_TRUE(readFile(setup.directory().file(std::string("c2f1/") + only("c2f1"))).ends_with("\r\n\r\nbytes"));
  EXPECT_TRUE(readFile(setup.directory().file(std::string("c3f2/") + only("c3f2"))).ends_with("a.txt\r\nbytes"));
}

TEST_F(MsgReceiveTest, AdminMailOnlyTakesTheMessageButWritesNothing) {
  setup.set("trasvik", "admin_mail_only", "1");
  setup.deliver(message("", {{"a.txt", "a"}}, "1200"));
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_TRUE(directoryNames(in).empty());
  EXPECT_EQ(setup.countRecords("INFO", "messages: 1 received, 0 rejected"), 1);
}

// A ".msg" file sent by gateway A, received by gateway B, sent back and
// received by A: subject, type, name and bytes arrive as they left, through
// both header forms.
TEST_F(MsgReceiveTest, ReceivedFileSentOnArrivesUnchanged) {
  setup.set("rules", "rule1", "outgoing");
  setup.set("outgoing", "type", "MSG");
  const std::string out = setup.makeDirectory("out");
  setup.set("outgoing", "out", out);
  const std::string subject = "Round \"trip\" \\ ";
  const std::string body("Note: see\r\n\0\xFF", 13);
  setup.directory().write(
      "out/a.msg", "to: " + addressOf(kPeerTicker) + "\nsubject: " + subject + "\nType: 2a0\nfilename: r.bin\n" + body);
  ASSERT_EQ(setup.runGateway(), 0) << log();  // A sends

  const auto asGateway = [&](const char* ticker, const char* compatibility) {
    setup.set("trasvik", "srvcini", setup.participantSettings(ticker));
    setup.set("main", "compatibility_option", compatibility);
    setup.set("outgoing", "compatibility_option", compatibility);
    return setup.runGateway();
  };
  ASSERT_EQ(asGateway(kPeerTicker, "0"), 0) << log();  // B receives
  std::string received = readFile(in + "r.bin.msg");
  EXPECT_EQ(received, header(addressOf(kGatewayTicker), "0x02A0", subject, valueOf(received, "MsgID"), dateOf(received),
                             "r.bin", addressOf(kPeerTicker)) +
                          "\r\n" + body)
      << received;

  // B forwards it to A: only its "To" line changes.
  std::filesystem::remove(in + "r.bin.msg");
  received.replace(3, addressOf(kPeerTicker).size(), addressOf(kGatewayTicker));
  setup.directory().write("out/r.bin.msg", received);
  ASSERT_EQ(asGateway(kPeerTicker, "0"), 0) << log();     // B sends
  ASSERT_EQ(asGateway(kGatewayTicker, "1"), 0) << log();  // A receives
  const std::string back = readFile(in + "r.bin.msg");
  EXPECT_EQ(back.substr(back.find("\r\nFilename:")), "\r\nFilename:r.bin\r\n" + body);
  EXPECT_NE(back.find("\r\nFrom:" + addressOf(kPeerTicker) + "\r\nType:0x02A0\r\nSubject:" + subject + "\r\n"),
            std::string::npos)
      << back;
}

class MsgReceiveFaultTest : public MsgReceiveTest {
 protected:
  // In a directory named "faulty" the service writes the first file's
  // header and bytes and the second file's header, then no more.
  MsgReceiveFaultTest() : MsgReceiveTest({"TRASVIK_TEST_FILE_FAULTS=write:/faulty/:ENOSPC:3"}) {}
};

TEST_F(MsgReceiveFaultTest, ShortWriteLeavesNoFileAndTheMessageComesAgain) {
  const std::string faulty = msgRule("main", "faulty", "1", "0");
  setup.deliver(message("Hi", {{"a.txt", "first"}, {"b.txt", "second"}}, "1200"));
  EXPECT_EQ(setup.runGateway(), 13) << log();  // the gateway stops
  EXPECT_TRUE(directoryNames(faulty).empty()) << testing::PrintToString(directoryNames(faulty));
  const std::string failure = "Error writing to file \"" + faulty + "b.txt.msg\": ";
  EXPECT_NE(log().find("FATAL Brivane: " + failure), std::string::npos) << log();
  // Notified without "Trasvik can't continue - " in front.
  const std::string store = setup.listStore();
  EXPECT_NE(store.find("text " + listedPrefix(failure)), std::string::npos) << store;

  const std::string good = msgRule("main", "good", "1", "0");
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_EQ(directoryNames(good), (std::vector<std::string>{"a.txt.msg", "b.txt.msg"}));
  EXPECT_TRUE(readFile(good + "b.txt.msg").ends_with("\r\nFilename:b.txt\r\nsecond"));
}

}  // namespace
}  // namespace gateway_testing
