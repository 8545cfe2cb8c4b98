// Receiving for FILE rules: the names received files get in each naming
// mode, the certificate information file, admin_mail_only, names from a
// hostile sender, and a message whose attachments cannot all be written.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "support/gateway_setup.h"

namespace gateway_testing {
namespace {

using testing_support::kWindows;
using testing_support::readFile;

class FileReceiveTest : public testing::Test {
 protected:
  explicit FileReceiveTest(const std::vector<std::string>& serviceEnvironment = {})
      : setup(true, serviceEnvironment) {
    in = setup.useMainRule("FILE");
  }

  // A FILE rule section whose incoming directory is `directory`.
  std::string fileRule(const std::string& section, const std::string& directory) {
    setup.set(section, "type", "FILE");
    setup.set(section, "in", setup.makeDirectory(directory));
    return setup.makeDirectory(directory);
  }

  GatewaySetup setup;
  std::string in;
};

TEST_F(FileReceiveTest, EachFirmModeNamesFilesWithoutReplacingAny) {
  setup.set("rules", "rule1", "sequence");
  setup.set("rules", "rule2", "daily");
  const std::string sequence = fileRule("sequence", "sequence");
  setup.set("sequence", "subject", "one");
  setup.set("sequence", "firm", "1");
  const std::string daily = fileRule("daily", "daily");
  setup.set("daily", "subject", "two");
  setup.set("daily", "firm", "2");
  const std::string today = platform::formatTime("%y%m%d", platform::utcTimeNow());
  setup.directory().write("in/report.xml", "old");
  setup.directory().write("sequence/" + today + "-PEER-00001.xml", "old");
  setup.directory().write("daily/" + today + "-PEER-00001.txt", "old");

  setup.deliver(message("zero", {{"report.xml", "a"}, {"report.xml", "b"}, {"", "c"}, {"", "d"}}));
  setup.deliver(message("one", {{"r.xml", "e"}, {"noextension", "f"}}));
  setup.deliver(message("two", {{"t.txt", "g"}, {"u.txt", "h"}}));
  EXPECT_EQ(setup.runGateway(), 0);

  // firm 0: the own name, else "(k)"; nameless ones take consecutive
  // numbers of the process-wide counter.
  const std::vector<std::string> saved = directoryNames(in);
  ASSERT_EQ(saved.size(), 5u) << testing::PrintToString(saved);
  EXPECT_EQ(readFile(in + "report.xml"), "old");
  EXPECT_EQ(readFile(in + "report (2).xml"), "a");
  EXPECT_EQ(readFile(in + "report (3).xml"), "b");
  ASSERT_TRUE(isCounterName(saved[0]) && isCounterName(saved[1])) << testing::PrintToString(saved);
  EXPECT_EQ(std::stoul(saved[0]) % 99999 + 1, std::stoul(saved[1]));
  EXPECT_EQ(readFile(in + saved[0]) + readFile(in + saved[1]), "cd");

  // firm 1: the persistent sequence number passes a taken name; firm 2: the
  // rule's count of the day does.
  EXPECT_EQ(readFile(sequence + today + "-PEER-00002.xml"), "e");
  EXPECT_EQ(readFile(sequence + today + "-PEER-00003"), "f");
  EXPECT_EQ(readFile(daily + today + "-PEER-00002.txt"), "g");
  EXPECT_EQ(readFile(daily + today + "-PEER-00003.txt"), "h");
  EXPECT_EQ(directoryNames(sequence).size() + directoryNames(daily).size(), 6u);
}

TEST_F(FileReceiveTest, InformationFileFollowsItsAttachmentsFinalName) {
  setup.set("trasvik", "RecvDNinfo", "1");
  setup.set("trasvik", "RecvDNprefix", "dn\\");
  const std::string dn = setup.makeDirectory("in/dn");
  setup.directory().write("in/report.xml", "old");
  setup.directory().write("in/dn/report.xml.inf", "old");
  // Saved byte for byte: no line end is converted, and neither NUL nor
  // Ctrl+Z ends the file.
  const std::string bytes("signed\r\n\x1A\0\n\xFF", 12);
  setup.deliver(message("", {{"report.xml", bytes}}));
  setup.deliver(message("", {{"plain.txt", "unsigned"}}, "", kPeerTicker, 0));
  EXPECT_EQ(setup.runGateway(), 0);

  EXPECT_EQ(readFile(in + "report (2).xml"), bytes);
  EXPECT_EQ(readFile(in + "plain.txt"), "unsigned");
  EXPECT_EQ(readFile(dn + "report.xml.inf"), "old");
  EXPECT_EQ(directoryNames(dn), (std::vector<std::string>{"report (2).xml.inf", "report.xml.inf"}));
  // Windows-1251 labels, CR LF line ends, no line end after the last value.
  EXPECT_EQ(readFile(dn + "report (2).xml.inf"),
            "\xE2\xEB\xE0\xE4\xE5\xEB\xE5\xF6: CN=PEER Signer, O=SVC\r\n"
            "\xEA\xEB\xFE\xF7 \xE4\xE5\xE9\xF1\xF2\xE2\xF3\xE5\xF2 \xED\xE5 \xF0\xE0\xED\xE5\xE5: 2024-01-01 00:00:00\r\n"
            "\xEA\xEB\xFE\xF7 \xE4\xE5\xE9\xF1\xF2\xE2\xF3\xE5\xF2 \xED\xE5 \xEF\xEE\xE7\xE6\xE5: 2026-12-31 23:59:59\r\n"
            "\xF1\xE5\xF0\xF2\xE8\xF4\xE8\xEA\xE0\xF2 \xE4\xE5\xE9\xF1\xF2\xE2\xF3\xE5\xF2 \xED\xE5 "
            "\xF0\xE0\xED\xE5\xE5: 2024-02-01 00:00:00\r\n"
            "\xF1\xE5\xF0\xF2\xE8\xF4\xE8\xEA\xE0\xF2 \xE4\xE5\xE9\xF1\xF2\xE2\xF3\xE5\xF2 \xED\xE5 "
            "\xEF\xEE\xE7\xE6\xE5: 2027-01-31 23:59:59\r\n"
            "\xF1\xE5\xF0\xE8\xE9\xED\xFB\xE9 \xED\xEE\xEC\xE5\xF0: 0APEER");

  // A prefix naming a missing directory: an error record, and the
  // attachment still counts as saved (the message is not offered again).
  setup.set("trasvik", "RecvDNprefix", "missing/");
  setup.deliver(message("", {{"late.txt", "late"}}));
  EXPECT_EQ(setup.runGateway(), 0);
  EXPECT_EQ(readFile(in + "late.txt"), "late");
  EXPECT_EQ(setup.countRecords("ERROR", "Can't open file \"" + in + "missing/late.txt.inf\" for writing"), 1);
  EXPECT_FALSE(std::filesystem::exists(in + "missing"));
  EXPECT_EQ(setup.runGateway(), 0);
  EXPECT_EQ(directoryNames(in).size(), 5u) << testing::PrintToString(directoryNames(in));  // dn, report x2, plain, late
}

TEST_F(FileReceiveTest, AdminMailOnlyTakesTheMessageButWritesNothing) {
  setup.set("trasvik", "admin_mail_only", "1");
  setup.set("trasvik", "RecvDNinfo", "1");
  setup.deliver(message("", {{"a.txt", "a"}}));
  EXPECT_EQ(setup.runGateway(), 0);
  EXPECT_TRUE(directoryNames(in).empty());
  EXPECT_EQ(setup.countRecords("INFO", "messages: 1 received, 0 rejected"), 1);

  setup.set("trasvik", "admin_mail_only", "0");
  EXPECT_EQ(setup.runGateway(), 0);
  EXPECT_TRUE(directoryNames(in).empty());  // it was confirmed: nothing comes again
}

TEST_F(FileReceiveTest, HostileAttachmentNamesStayInsideTheIncomingDirectory) {
  const std::string outside = setup.directory().file("abs");
  setup.deliver(message("", {{"../x", "1"}, {"a/../../y", "2"}, {"..\\z", "3"}, {outside, "4"},
                                {"bad\tname", "5"}, {"..", "6"}, {"dir/", "7"}}));
  EXPECT_EQ(setup.runGateway(), 0);

  const std::vector<std::string> saved = directoryNames(in);
  ASSERT_EQ(saved.size(), 7u) << testing::PrintToString(saved);
  // Control characters, "..", and an empty last component: no name.
  EXPECT_TRUE(isCounterName(saved[0]) && isCounterName(saved[1]) && isCounterName(saved[2]));
  EXPECT_EQ(std::vector<std::string>(saved.begin() + 3, saved.end()),
            (std::vector<std::string>{"abs", "x", "y", "z"}));
  EXPECT_EQ(readFile(in + "x") + readFile(in + "y") + readFile(in + "z") + readFile(in + "abs"), "1234");
  for (const char* name : {"x", "y", "z", "abs"}) {
    EXPECT_FALSE(std::filesystem::exists(setup.directory().file(name))) << name;
  }

  // A name beyond the file system's limit is shortened, and its twin still
  // gets its " (2)": the message does not stop the gateway. On Windows the
  // whole path, with " (99999)" and ".inf", stays within MAX_PATH as well.
  const std::string longName(300, 'n');
  setup.deliver(message("", {{longName + ".txt", "8"}, {longName + ".txt", "9"}}));
  EXPECT_EQ(setup.runGateway(), 0);
  const std::size_t longest = kWindows ? std::min<std::size_t>(200, 259 - in.size() - 12) : 200;
  const std::string shortened(longest - 4, 'n');
  EXPECT_EQ(readFile(in + shortened + ".txt") + readFile(in + shortened + " (2).txt"), "89");
}

// Names a reader of the directory would miss or misread: hidden ones lose
// their dots, and a name is chosen together with its information file.
// Names Windows cannot hold (wildcards, device names, trailing dots and
// blanks) are saved there under their safe form, so that the message does
// not fail on every pass; Linux keeps their bytes.
TEST_F(FileReceiveTest, NamesAreVisibleLiteralAndFreeTogetherWithTheirInformationFile) {
  setup.set("trasvik", "RecvDNinfo", "1");
  setup.directory().write("in/report.xml.inf", "the sender's own bytes");
  setup.directory().write("in/older.txt", "0");  // "*.txt" is a name, not a pattern that this matches
  const Attachments attachments{{".hidden", "1"},  {"*.txt", "2"}, {"report.xml", "3"},    {"con", "4"},
                                {"Nul.txt", "5"},  {"COM1.log", "6"}, {"lpt1.", "7"}, {"a:b|c?.txt. ", "8"},
                                {"<q>\"", "9"}};
  setup.deliver(message("", attachments));
  EXPECT_EQ(setup.runGateway(), 0);

  const std::vector<std::string> saved =
      kWindows ? std::vector<std::string>{"hidden", "_.txt", "report (2).xml", "_con", "_Nul.txt", "_COM1.log",
                                          "_lpt1", "a_b_c_.txt", "_q__"}
               : std::vector<std::string>{"hidden", "*.txt", "report (2).xml", "con", "Nul.txt", "COM1.log",
                                          "lpt1.", "a:b|c?.txt. ", "<q>\""};
  std::vector<std::string> expected{"older.txt", "report.xml.inf"};
  for (std::size_t i = 0; i < saved.size(); ++i) {
    EXPECT_EQ(readFile(in + saved[i]), attachments[i].second) << saved[i];
    expected.push_back(saved[i]);
    expected.push_back(saved[i] + ".inf");
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(directoryNames(in), expected);
  EXPECT_EQ(readFile(in + "report.xml.inf"), "the sender's own bytes");
}

TEST_F(FileReceiveTest, AFailedSaveIsNoSaveEvenWhenItsResultEqualsTheSize) {
  // A failed call returns 3, the size of this attachment.
  setup.inject("SaveDravontMessageAttachment", 1, "fault", "disk trouble");
  // The failed call costs the session; the message, not confirmed, comes
  // again in the new session and is saved whole.
  setup.deliver(message("", {{"abc.txt", "abc"}}));
  EXPECT_EQ(setup.runGateway(), 0);
  EXPECT_EQ(directoryNames(in), std::vector<std::string>{"abc.txt"});
  EXPECT_EQ(readFile(in + "abc.txt"), "abc");
  EXPECT_EQ(setup.countRecordsStartingWith("Msg received, Id: "), 2);
}

class FileReceiveFaultTest : public FileReceiveTest {
 protected:
  // The service cannot write a second file into a directory named "faulty".
  FileReceiveFaultTest() : FileReceiveTest({"TRASVIK_TEST_FILE_FAULTS=write:/faulty/:ENOSPC:1"}) {}
};

TEST_F(FileReceiveFaultTest, LaterAttachmentNotWrittenWholeLeavesNoFileAndTheMessageComesAgain) {
  const std::string faulty = fileRule("main", "faulty");
  setup.deliver(message("", {{"a.txt", "first"}, {"b.txt", "second"}}));
  EXPECT_EQ(setup.runGateway(), 13);  // the gateway stops
  EXPECT_TRUE(directoryNames(faulty).empty()) << testing::PrintToString(directoryNames(faulty));
  const std::vector<std::string> records = setup.logRecords();
  EXPECT_EQ(std::count_if(records.begin(), records.end(),
                          [&](const std::string& record) {
                            return record.find("FATAL Brivane: Error writing to file \"" + faulty + "b.txt\": ") !=
                                   std::string::npos;
                          }),
            1);

  const std::string good = fileRule("main", "good");
  EXPECT_EQ(setup.runGateway(), 0);
  EXPECT_EQ(directoryNames(good), (std::vector<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(readFile(good + "a.txt") + readFile(good + "b.txt"), "firstsecond");
}

// A full disk (its free space, through the fault layer, is nil) is no
// reason to stop: the message stays unconfirmed, one warning says why, and
// each pass tries again until there is room.
TEST_F(FileReceiveFaultTest, ASaveThatFailsOnAFullDiskLeavesTheMessageForALaterPassWithoutAStop) {
  const std::string faulty = fileRule("main", "faulty");
  setup.set("trasvik", "loops", "2");
  const std::string id = setup.deliver(message("", {{"a.txt", "first"}, {"b.txt", "second"}}));
  EXPECT_EQ(setup.runGateway(nullptr, {"TRASVIK_TEST_FILE_FAULTS=space:/faulty/:ENOSPC"}), 0);
  EXPECT_TRUE(directoryNames(faulty).empty()) << testing::PrintToString(directoryNames(faulty));
  EXPECT_EQ(setup.countRecordsStartingWith("Rule [main]: the disk of \"" + faulty + "\" is full (0 bytes free, 6 needed); "
                                           "message \"" + id + "\" stays unconfirmed"),
            1);
  EXPECT_EQ(setup.countRecordsStartingWith("FATAL"), 0);

  const std::string good = fileRule("main", "good");
  EXPECT_EQ(setup.runGateway(), 0);
  EXPECT_EQ(directoryNames(good), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(FileReceiveTest, FileThatCannotBeFlushedToDiskIsNotConfirmed) {
  // The confirmation lets the service forget the message: a received file
  // the gateway cannot make durable must not be confirmed.
  setup.deliver(message("", {{"durable.txt", "d"}}));
  EXPECT_EQ(setup.runGateway(nullptr, {"TRASVIK_TEST_FILE_FAULTS=fsync:/in/:EIO"}), 13);
  EXPECT_TRUE(directoryNames(in).empty()) << testing::PrintToString(directoryNames(in));
  EXPECT_EQ(setup.runGateway(), 0);
  EXPECT_EQ(readFile(in + "durable.txt"), "d");
}

}  // namespace
}  // namespace gateway_testing
