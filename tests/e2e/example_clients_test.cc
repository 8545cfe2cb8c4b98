// The example clients shipped with the library, built as a user builds them
// (the Windows ones against DravontDLL.dll), exchanging a file through a
// real service.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/gateway_setup.h"

namespace gateway_testing {
namespace {

using testing_support::readFile;

// Runs an example program connected to the setup's service; its exit
// status, with what it printed in `output`.
int runExample(const GatewaySetup& setup, const std::vector<std::string>& command, std::string& output) {
  std::string error;
  auto child = platform::ChildProcess::start(command, true, error, {"XMLRPCPORT=" + std::to_string(setup.port())});
  if (child == nullptr) {
    ADD_FAILURE() << error;
    return -1;
  }
  output.clear();
  while (auto line = child->readLine(60000)) output += *line + "\n";
  return child->wait(60000).value_or(-1);
}

TEST(ExampleClientsTest, AFileSentByOneClientIsSavedByteForByteByTheOtherAndUnsafeNamesAreRefused) {
  GatewaySetup setup;
  // Bytes a text-mode write would alter on Windows.
  const std::string contents = std::string("line one\r\nline two\n\x1a\0tail", 23);
  const std::string file = setup.directory().write("report.bin", contents);
  // An attachment named to escape the receiving directory, on either system.
  setup.deliver(message("escape", {{std::string("..") + '\\' + "escaped.txt", "x"}, {"../escaped.txt", "x"}}));

  std::string output;
  ASSERT_EQ(runExample(setup, {TRASVIK_SEND_FILE_PROGRAM, setup.participantSettings(kPeerTicker),
                               addressOf(kGatewayTicker), file, "dravont://send"},
                       output),
            0)
      << output;
  EXPECT_NE(output.find("sent " + file + " as message "), std::string::npos) << output;

  const std::string in = setup.makeDirectory("in");
  ASSERT_EQ(runExample(setup, {TRASVIK_RECEIVE_FILES_PROGRAM, setup.participantSettings(kGatewayTicker), in,
                               "dravont://receive"},
                       output),
            0)
      << output;
  EXPECT_NE(output.find("1 of 2 messages received"), std::string::npos) << output;
  EXPECT_EQ(readFile(in + "report.bin"), contents);
  EXPECT_EQ(directoryNames(in), std::vector<std::string>{"report.bin"});
  EXPECT_FALSE(std::filesystem::exists(setup.directory().file("escaped.txt")));
  // The refused message went back to its sender with the reason; nothing
  // is left waiting.
  EXPECT_NE(setup.listStore().find("has no usable name"), std::string::npos) << setup.listStore();
  ASSERT_EQ(runExample(setup, {TRASVIK_RECEIVE_FILES_PROGRAM, setup.participantSettings(kGatewayTicker), in,
                               "dravont://receive"},
                       output),
            0);
  EXPECT_NE(output.find("0 of 0 messages received"), std::string::npos) << output;
}

}  // namespace
}  // namespace gateway_testing
