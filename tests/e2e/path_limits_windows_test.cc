// Paths and names as the programs of a Windows server can open them: paths
// within MAX_PATH (which Wine does not enforce, so the gateway's own limits
// are what is tested), and names the ANSI code page cannot write.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/gateway_setup.h"
#include "support/temp_directory.h"

namespace gateway_testing {
namespace {

using testing_support::readFile;

constexpr std::size_t kLongestPath = 259;  // MAX_PATH less its NUL

class PathLimitTest : public testing::Test {
 protected:
  void SetUp() override {
    in = setup.useMainRule("FILE");
  }

  // A directory below the setup's whose path, with its separator, is
  // `length` characters long.
  std::string deepDirectory(std::size_t length) const {
    std::string path = setup.directory().file("");
    std::size_t left = length - path.size();
    while (left > 0) {
      std::size_t piece = std::min<std::size_t>(left, 101);
      if (left - piece == 1) --piece;  // never a last piece of a lone separator
      path += std::string(piece - 1, 'd') + "\\";
      left -= piece;
    }
    std::filesystem::create_directories(path);
    return path;
  }
  std::string log() const { return readFile(setup.directory().file("gateway.log")); }

  GatewaySetup setup;
  std::string in;
};

TEST_F(PathLimitTest, ReceivedNamesFitADeepDirectoryAndOneTooDeepStopsTheStart) {
  const std::string deep = deepDirectory(200);
  setup.set("main", "in", deep);
  const std::string name = std::string(120, 'n') + ".pdf";
  setup.deliver(message("deep", {{name, "a"}, {name, "b"}}));
  ASSERT_EQ(setup.runGateway(), 0) << log();
  const std::vector<std::string> saved = directoryNames(deep);
  ASSERT_EQ(saved.size(), 2u) << testing::PrintToString(saved);
  for (const std::string& file : saved) {
    // The name with its " (k)", and room for ".inf".
    EXPECT_LE(deep.size() + file.size() + sizeof(".inf") - 1, kLongestPath) << file;
    EXPECT_TRUE(file.ends_with(".pdf")) << file;
  }

  const std::string tooDeep = deepDirectory(kLongestPath - 20);
  setup.set("main", "in", tooDeep);
  EXPECT_EQ(setup.runGateway(), 13) << log();
  EXPECT_EQ(setup.countRecordsStartingWith("Rule:ini(), Incoming directory \"" + tooDeep.substr(0, tooDeep.size() - 1)),
            1)
      << log();
}

TEST_F(PathLimitTest, OutgoingFilesWithPathsTooLongOrNamesTheCodePageCannotWriteAreReportedOnceAndStay) {
  const std::string out = deepDirectory(kLongestPath - 30);
  setup.set("main", "out", out);
  setup.set("main", "address", addressOf(kPeerTicker));
  setup.set("trasvik", "loops", "2");
  setup.set("trasvik", "sleeptime", "1");
  const std::string longName = std::string(40, 'x') + ".txt";
  setup.directory().write(out.substr(setup.directory().file("").size()) + longName, "too long");
  // A name in Chinese letters: no Windows-1251 or -1252 code page writes it.
  const std::filesystem::path foreign = std::filesystem::path(out) / std::filesystem::path(u8"\u4e2d\u6587.txt");
  std::ofstream(foreign) << "foreign";
  setup.directory().write(out.substr(setup.directory().file("").size()) + "ok.txt", "fits");
  ASSERT_EQ(setup.runGateway(), 0) << log();

  EXPECT_EQ(setup.countRecords("WARNING", "File \"" + longName + "\" has a path too long to be opened. Ignoring"), 1)
      << log();
  // Listed with the code page's stand-in letter '?' for each it lacks.
  EXPECT_EQ(setup.countRecords("WARNING", "File \"??.txt\" has a name the system's code page cannot write. Ignoring"),
            1)
      << log();
  EXPECT_TRUE(std::filesystem::exists(out + longName));
  EXPECT_TRUE(std::filesystem::exists(foreign));
  const std::string store = setup.listStore();
  EXPECT_NE(store.find("attachment \"ok.txt\""), std::string::npos) << store;
  EXPECT_EQ(store.find("attachment \"" + longName), std::string::npos) << store;
}

}  // namespace
}  // namespace gateway_testing
