// Receiving for UA rules: the pair of data file and envelope for each
// attachment, the names in every naming mode, values from a hostile
// sender, envelopes that leave out what is unknown, failures that leave no
// part of a pair, and a pair that travels there and back.
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

bool isShortName(const std::string& name, const std::string& extension) {
  return name.size() == 8 + extension.size() && name.starts_with("bbs") && name.ends_with(extension) &&
         std::all_of(name.begin() + 3, name.begin() + 8, [](char c) { return c >= '0' && c <= '9'; });
}

// The value of a line of an envelope ("" when it has none).
std::string valueOf(const std::string& envelope, const std::string& key) {
  const std::size_t at = ("\r\n" + envelope).find("\r\n" + key + ": ");
  if (at == std::string::npos) return "";
  const std::size_t start = at + key.size() + 2;
  return envelope.substr(start, envelope.find("\r\n", start) - start);
}

class UaReceiveTest : public testing::Test {
 protected:
  explicit UaReceiveTest(const std::vector<std::string>& serviceEnvironment = {}) : setup(true, serviceEnvironment) {
    in = setup.useMainRule("UA");
  }

  std::string uaRule(const std::string& section, const std::string& compatibility, const std::string& firm) {
    setup.set(section, "type", "UA");
    setup.set(section, "in", setup.makeDirectory(section));
    setup.set(section, "compatibility_option", compatibility);
    setup.set(section, "firm", firm);
    return setup.makeDirectory(section);
  }
  // The envelope of a message from the peer to the gateway.
  std::string envelope(const std::string& subject, const std::string& id, const std::string& date,
                       const std::string& type, const std::string& fileName) const {
    return "To: " + addressOf(kGatewayTicker) + "\r\nFrom: " + addressOf(kPeerTicker) + "\r\n" +
           (subject.empty() ? "" : "Subject: " + subject + "\r\n") +
           (date.empty() ? "" : "Date/Time: " + date + "\r\n") + "MsgID: " + id + "\r\nType: " + type + "\r\n" +
           (fileName.empty() ? "" : "Filename: " + fileName + "\r\n");
  }
  std::string log() const { return readFile(setup.directory().file("gateway.log")); }

  GatewaySetup setup;
  std::string in;
};

TEST_F(UaReceiveTest, EachAttachmentIsADataFileAndAnEnvelopeUnderABaseNoFileUses) {
  setup.set("trasvik", "RecvDNinfo", "1");
  const std::string today = platform::formatTime("%Y%m%d/", platform::localTimeNow().calendar);
  const std::string bytes("<r>\0\xFF</r>\r\n", 11);
  const std::string first = setup.deliver(message("hello", {{"report.xml", bytes}}, "1200"));
  const std::string second = setup.deliver(message("again", {{"report.xml", "2"}}));
  // Two attachments of one name, and names some file of another extension
  // already uses.
  setup.deliver(message("", {{"dup", "x"}, {"dup", "y"}, {"notes.txt", "n"}}));
  setup.directory().write("in/notes.txt.bak", "old");
  setup.directory().write("in/dup (2).txt", "old");
  // A subject whose line break would add a "To:" line; a name with a path;
  // an attachment without a name.
  const std::string hostile =
      setup.deliver(message("Hi\r\nTo: EMAIL@EVIL.SVC\n", {{"../x", "x"}, {"", "nameless"}}, ""));
  ASSERT_EQ(setup.runGateway(), 0) << log();

  const std::string pairOne = readFile(in + "report.xml.env");
  EXPECT_EQ(valueOf(pairOne, "Date/Time").substr(0, 9), today);
  EXPECT_EQ(pairOne, envelope("hello", first, valueOf(pairOne, "Date/Time"), "0x1200", "report.xml"));
  EXPECT_EQ(readFile(in + "report.xml.001"), bytes);
  EXPECT_EQ(readFile(in + "report.xml (2).001"), "2");
  EXPECT_NE(readFile(in + "report.xml (2).env").find("\r\nMsgID: " + second + "\r\n"), std::string::npos);
  EXPECT_EQ(readFile(in + "report.xml.inf").substr(0, 10), "\xE2\xEB\xE0\xE4\xE5\xEB\xE5\xF6: ");
  EXPECT_EQ(readFile(in + "dup.001") + readFile(in + "dup (3).001"), "xy");
  EXPECT_EQ(readFile(in + "notes.txt (2).001"), "n");
  const std::string x = readFile(in + "x.env");
  EXPECT_EQ(x, envelope("Hi  To: EMAIL@EVIL.SVC ", hostile, valueOf(x, "Date/Time"), "0x0000", "../x"));

  std::vector<std::string> saved = directoryNames(in);
  const auto shortName = std::find_if(saved.begin(), saved.end(), [](auto& n) { return isShortName(n, ".001"); });
  ASSERT_NE(shortName, saved.end()) << testing::PrintToString(saved);
  const std::string base = shortName->substr(0, 8);
  EXPECT_EQ(readFile(in + base + ".001"), "nameless");
  EXPECT_EQ(valueOf(readFile(in + base + ".env"), "Filename"), "");
  EXPECT_EQ(saved, (std::vector<std::string>{base + ".001", base + ".env", base + ".inf", "dup (2).txt", "dup (3).001", "dup (3).env", "dup (3).inf", "dup.001", "dup.env",
                                             "dup.inf", "notes.txt (2).001", "notes.txt (2).env", "notes.txt (2).inf",
                                             "notes.txt.bak", "report.xml (2).001", "report.xml (2).env",
                                             "report.xml (2).inf", "report.xml.001", "report.xml.env",
                                             "report.xml.inf", "x.001", "x.env", "x.inf"}));
  EXPECT_NE(log().find("INFO Brivane: Rule [main]: Msg received, from \"" + addressOf(kPeerTicker) +
                       "\", attachment name: \"report.xml\". Saved to file \"" + in + "report.xml.001\"\nsubject: "),
            std::string::npos)
      << log();
}

TEST_F(UaReceiveTest, CompatibilityOptionAndFirmChooseTheBaseName) {
  const std::string today = platform::formatTime("%y%m%d", platform::utcTimeNow());
  struct Case {
    const char* section;
    const char* compatibility;
    const char* firm;
    const char* attachment;
  };
  const std::vector<Case> cases{{"c2f0", "2", "0", "a.txt"}, {"c3f2", "3", "2", "a.txt"},
                                {"c0f1", "0", "1", "a.txt"}, {"c1f2", "1", "2", ""}};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    setup.set("rules", "rule" + std::to_string(i + 1), c.section);
    uaRule(c.section, c.compatibility, c.firm);
    setup.set(c.section, "subject", c.section);
    setup.deliver(message(c.section, {{c.attachment, "bytes"}}));
  }
  ASSERT_EQ(setup.runGateway(), 0) << log();

  const auto pairIn = [&](const char* section) {
    const std::vector<std::string> saved = directoryNames(setup.directory().file(section));
    EXPECT_EQ(saved.size(), 2u) << section << testing::PrintToString(saved);
    if (saved.size() != 2 || saved[0].substr(0, saved[0].size() - 4) != saved[1].substr(0, saved[1].size() - 4)) {
      return std::string("(no pair)");
    }
    EXPECT_TRUE(saved[0].ends_with(".001") && saved[1].ends_with(".env")) << section;
    return saved[0].substr(0, saved[0].size() - 4);
  };
  // Bit 1: a short name, whatever firm says.
  EXPECT_TRUE(isShortName(pairIn("c2f0"), "")) << pairIn("c2f0");
  EXPECT_TRUE(isShortName(pairIn("c3f2"), "")) << pairIn("c3f2");
  EXPECT_EQ(pairIn("c0f1").substr(0, 12), today + "-PEER-");
  EXPECT_EQ(pairIn("c1f2"), today + "-PEER-00001");  // a dated name also without an attachment name
}

TEST_F(UaReceiveTest, WithoutSubjectAndDateTheirLinesAreLeftOutAndAdminMailOnlyWritesNothing) {
  const std::string id = setup.deliver(message("", {{"a.txt", "a"}}, "1200"));
  setup.inject("GetDravontMessageDate", 1, "error", "no date");
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_EQ(readFile(in + "a.txt.env"), envelope("", id, "", "0x1200", "a.txt"));

  setup.set("trasvik", "admin_mail_only", "1");
  setup.deliver(message("", {{"b.txt", "b"}}));
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_EQ(directoryNames(in), (std::vector<std::string>{"a.txt.001", "a.txt.env"}));
  EXPECT_EQ(setup.countRecords("INFO", "messages: 1 received, 0 rejected"), 2);
}

// Gateway A sends a pair, gateway B receives it, edits the envelope's To
// line and sends it back: A receives subject, type, name and bytes as they
// left.
TEST_F(UaReceiveTest, PairSentOnArrivesWithEveryField) {
  setup.set("main", "compatibility_option", "0");
  setup.set("rules", "rule1", "outgoing");
  setup.set("outgoing", "type", "UA");
  setup.set("outgoing", "compatibility_option", "0");
  const std::string out = setup.makeDirectory("out");
  setup.set("outgoing", "out", out);
  const std::string subject = "Round \"trip\" \\ ";
  const std::string bytes("Note: see\r\n\0\xFF", 13);
  setup.directory().write("out/a.env", "to: " + addressOf(kPeerTicker) + "\nsubject: " + subject +
                                           "x\nType: 2a0\nfilename: r.bin\n");
  setup.directory().write("out/a.001", bytes);
  ASSERT_EQ(setup.runGateway(), 0) << log();  // A sends

  const auto asGateway = [&](const char* ticker) {
    setup.set("trasvik", "srvcini", setup.participantSettings(ticker));
    return setup.runGateway();
  };
  ASSERT_EQ(asGateway(kPeerTicker), 0) << log();  // B receives
  std::string received = readFile(in + "r.bin.env");
  EXPECT_EQ(received, "To: " + addressOf(kPeerTicker) + "\r\nFrom: " + addressOf(kGatewayTicker) +
                          "\r\nSubject: " + subject + "x\r\nDate/Time: " + valueOf(received, "Date/Time") +
                          "\r\nMsgID: " + valueOf(received, "MsgID") + "\r\nType: 0x02A0\r\nFilename: r.bin\r\n");
  EXPECT_EQ(readFile(in + "r.bin.001"), bytes);

  received.replace(4, addressOf(kPeerTicker).size(), addressOf(kGatewayTicker));
  setup.directory().write("out/r.bin.env", received);
  std::filesystem::rename(in + "r.bin.001", out + "r.bin.001");
  std::filesystem::remove(in + "r.bin.env");
  ASSERT_EQ(asGateway(kPeerTicker), 0) << log();     // B sends
  ASSERT_EQ(asGateway(kGatewayTicker), 0) << log();  // A receives
  const std::string back = readFile(in + "r.bin.env");
  EXPECT_EQ(back.substr(back.find("\r\nFrom: ")), "\r\nFrom: " + addressOf(kPeerTicker) + "\r\nSubject: " + subject +
                                                    "x\r\nDate/Time: " + valueOf(back, "Date/Time") + "\r\nMsgID: " +
                                                    valueOf(back, "MsgID") + "\r\nType: 0x02A0\r\nFilename: r.bin\r\n");
  EXPECT_EQ(readFile(in + "r.bin.001"), bytes);
}

class UaReceiveFaultTest : public UaReceiveTest {
 protected:
  // In a directory named "faulty" the service creates the first file (a
  // data file), then no more.
  UaReceiveFaultTest() : UaReceiveTest({"TRASVIK_TEST_FILE_FAULTS=open:/faulty/:EACCES:1"}) {}
};

TEST_F(UaReceiveFaultTest, APairAppearsWholeAndItsDataFileFirstOrNotAtAll) {
  // The envelope cannot be created: its data file goes too.
  const std::string faulty = setup.makeDirectory("faulty");
  setup.set("main", "in", faulty);
  setup.deliver(message("Hi", {{"a.txt", "first"}}));
  EXPECT_EQ(setup.runGateway(), 13) << log();
  EXPECT_TRUE(directoryNames(faulty).empty()) << testing::PrintToString(directoryNames(faulty));
  const std::string failure = "Can't open file for writing: \"" + faulty + "a.txt.env\", ";
  EXPECT_NE(log().find("FATAL Brivane: " + failure), std::string::npos) << log();
  EXPECT_NE(setup.listStore().find("text " + listedPrefix(failure)), std::string::npos) << setup.listStore();

  // Renamed into place data file first: when that fails no envelope
  // appears; when the envelope's rename fails its data file is removed.
  setup.set("main", "in", in);
  EXPECT_EQ(setup.runGateway(nullptr, {"TRASVIK_TEST_FILE_FAULTS=rename:/in/a.txt.001:EIO"}), 13) << log();
  EXPECT_TRUE(directoryNames(in).empty()) << testing::PrintToString(directoryNames(in));
  EXPECT_EQ(setup.runGateway(nullptr, {"TRASVIK_TEST_FILE_FAULTS=rename:/in/a.txt.env:EIO"}), 13) << log();
  EXPECT_TRUE(directoryNames(in).empty()) << testing::PrintToString(directoryNames(in));
  // The message, still unconfirmed, comes again: one pair, no "(2)".
  ASSERT_EQ(setup.runGateway(), 0) << log();
  EXPECT_EQ(directoryNames(in), (std::vector<std::string>{"a.txt.001", "a.txt.env"}));
  EXPECT_EQ(readFile(in + "a.txt.001"), "first");
}

}  // namespace
}  // namespace gateway_testing
