// A FILE rule with maxattachmentsize sends several files per message: the
// batches the limit makes, their summary records, attaches that fail,
// switchafter, and files too long for a message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/gateway_setup.h"

namespace gateway_testing {
namespace {

using testing_support::readFile;

// The attachment names of each message of one box in a store listing
// (the section that begins with `header`, such as "Inbox email@peer.svc:").
std::vector<std::vector<std::string>> messagesIn(const std::string& store, const std::string& header) {
  std::vector<std::vector<std::string>> messages;
  std::istringstream lines(store);
  bool inBox = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(header, 0) == 0) {
      inBox = true;
    } else if (line.empty() || line[0] != ' ') {
      inBox = false;
    } else if (inBox && line.rfind("      attachment \"", 0) == 0) {
      messages.back().push_back(line.substr(18, line.find('"', 18) - 18));
    } else if (inBox && line.rfind("      ", 0) != 0) {
      messages.emplace_back();
    }
  }
  return messages;
}

std::vector<std::string> sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

class FileBatchTest : public testing::Test {
 protected:
  void SetUp() override {
    setup.useMainRule("FILE");
    setup.set("main", "out", out);
    setup.set("main", "address", addressOf(kPeerTicker));
    setup.set("main", "maxattachmentsize", "1000");
    // Whatever order the directory yields them in, the first two fit into
    // one message and the third needs another.
    write("six.bin", std::string(600, '6'));
    write("four.bin", std::string(400, '4'));
    write("three.bin", std::string(300, '3'));
  }

  // Writes a file into the outgoing directory; its path as the gateway
  // composes it.
  std::string write(const std::string& name, const std::string& contents) const {
    setup.directory().write("out/" + name, contents);
    return out + name;
  }
  bool inOut(const std::string& name) const { return std::filesystem::exists(out + name); }
  std::string log() const { return readFile(setup.directory().file("gateway.log")); }
  std::string peerInbox() const { return "Inbox " + lowerCase(addressOf(kPeerTicker)) + ":"; }

  GatewaySetup setup;
  const std::string out = setup.makeDirectory("out");
};

TEST_F(FileBatchTest, FilesUpToTheLimitShareAMessageAndEachArrivesAsAFileOfItsOwn) {
  // The gateway sends to itself: its second pass receives what the first
  // sent.
  const std::string self = addressOf(kGatewayTicker);
  setup.set("main", "address", self);
  setup.set("trasvik", "loops", "2");
  const std::string sent = setup.makeDirectory("sent");
  setup.set("main", "sent", sent);
  ASSERT_EQ(setup.runGateway(), 0) << log();

  const auto messages = messagesIn(setup.listStore(), "Archive " + lowerCase(self) + ":");
  ASSERT_EQ(messages.size(), 2u) << setup.listStore();
  const std::vector<std::string>& pair = messages[0].size() == 2 ? messages[0] : messages[1];
  const std::vector<std::string>& single = messages[0].size() == 2 ? messages[1] : messages[0];
  ASSERT_EQ(pair.size(), 2u);
  ASSERT_EQ(single.size(), 1u);
  EXPECT_EQ(sorted({pair[0], pair[1], single[0]}), sorted({"four.bin", "six.bin", "three.bin"}));

  const std::string in = setup.directory().file("in/");
  for (const char* name : {"six.bin", "four.bin", "three.bin"}) {
    EXPECT_EQ(readFile(in + name), readFile(sent + name)) << name;
    EXPECT_FALSE(inOut(name)) << name;
  }
  EXPECT_EQ(readFile(in + "six.bin"), std::string(600, '6'));

  // Each file on a line of its own after a tab, in the order attached, and a
  // line feed before the end.
  const std::string prefix = "INFO Brivane: Rule [main]: Message sent to: \"" + self + "\", ";
  EXPECT_NE(log().find(prefix + "2 files attached, filenames:\n\t" + out + pair[0] + "\n\t" + out + pair[1] +
                       "\nEnd of file names\n"),
            std::string::npos)
      << log();
  EXPECT_NE(log().find(prefix + "1 files attached, filenames:\n\t" + out + single[0] + "\nEnd of file names\n"),
            std::string::npos)
      << log();
}

TEST_F(FileBatchTest, BatchWhoseAttachesAllFailIsNotPostedAndCostsEachFileATry) {
  setup.set("trasvik", "retryonerror", "1");
  setup.inject("DravontAttachStreamToMessage", 2, "error", "attach refused");
  ASSERT_EQ(setup.runGateway(), 0) << log();

  // The first message had nothing attached and was never posted; its files
  // used their only try and went to the error subdirectory.
  const auto messages = messagesIn(setup.listStore(), peerInbox());
  ASSERT_EQ(messages.size(), 1u) << setup.listStore();
  ASSERT_EQ(messages[0].size(), 1u);
  EXPECT_FALSE(inOut(messages[0][0]));
  EXPECT_EQ(setup.countRecords("ERROR", "Can't post message: attach refused"), 0);
  int failed = 0;
  for (const char* name : {"six.bin", "four.bin", "three.bin"}) {
    if (name == messages[0][0]) continue;
    EXPECT_TRUE(std::filesystem::exists(out + "err/" + name)) << name;
    EXPECT_EQ(setup.countRecords("ERROR",
                                 "Can't attach stream to message, file name: \"" + out + name + "\", attach refused"),
              1)
        << log();
    ++failed;
  }
  EXPECT_EQ(failed, 2);
}

TEST_F(FileBatchTest, SwitchafterEndsThePassAfterTheFirstMessageThatMovedFiles) {
  setup.set("trasvik", "switchafter", "1");
  ASSERT_EQ(setup.runGateway(), 0) << log();
  const auto messages = messagesIn(setup.listStore(), peerInbox());
  ASSERT_EQ(messages.size(), 1u) << setup.listStore();
  ASSERT_EQ(messages[0].size(), 2u);
  int waiting = 0;
  for (const char* name : {"six.bin", "four.bin", "three.bin"}) {
    const bool sentNow = name == messages[0][0] || name == messages[0][1];
    EXPECT_EQ(inOut(name), !sentNow) << name;
    waiting += sentNow ? 0 : 1;
  }
  EXPECT_EQ(waiting, 1);
}

TEST_F(FileBatchTest, FileLongerThanTheLimitStaysAlsoWhenItGrewAfterTheScan) {
  std::filesystem::remove(out + "six.bin");
  std::filesystem::remove(out + "four.bin");
  setup.set("trasvik", "loops", "2");
  setup.set("trasvik", "fileTimeout", "60000");
  write("big.bin", std::string(1500, 'b'));
  const std::string grown = write("grown.bin", std::string(500, 'g'));
  // While this process writes the file the gateway waits to open it, so it
  // grows after the scan.
  auto writer = holdOpen(grown, Hold::kWriting);
  ASSERT_NE(writer, nullptr);
  auto gateway = setup.startGateway();
  ASSERT_NE(gateway, nullptr);
  const std::string scanned = "WARNING Brivane: File \"big.bin\" is too long. Ignoring";
  for (int i = 0; i < 400 && log().find(scanned) == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  const bool scanDone = log().find(scanned) != std::string::npos;
  EXPECT_EQ(writer->writeAt(500, std::string(1000, 'g')), 0);
  writer.reset();
  ASSERT_TRUE(scanDone) << log();
  ASSERT_EQ(gateway->wait(60000), 0) << log();

  EXPECT_EQ(setup.countRecords("WARNING", "Rule [main]: File \"" + grown +
                                              "\" has grown to 1500 bytes since the scan, more than "
                                              "maxattachmentsize 1000; it stays in the directory"),
            1)
      << log();
  // Every pass's scan skips the long files, and says so once.
  EXPECT_EQ(setup.countRecords("WARNING", "File \"big.bin\" is too long. Ignoring"), 1);
  EXPECT_EQ(setup.countRecords("WARNING", "File \"grown.bin\" is too long. Ignoring"), 1);
  EXPECT_TRUE(inOut("big.bin"));
  EXPECT_TRUE(inOut("grown.bin"));
  EXPECT_FALSE(inOut("three.bin"));
  const auto messages = messagesIn(setup.listStore(), peerInbox());
  ASSERT_EQ(messages.size(), 1u) << setup.listStore();
  EXPECT_EQ(messages[0], std::vector<std::string>{"three.bin"});
}

}  // namespace
}  // namespace gateway_testing
