#include "platform/file_faults.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/child_process.h"
#include "platform/environment.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/random_access_file.h"
#include "file_fault_fixture.h"
#include "support/temp_directory.h"

namespace {

using testing_support::readFile;
using testing_support::TempDirectory;

using platform_testing::FileFaultTest;
using platform_testing::inject;

TEST(FileFaultTextTest, ParsesEntriesAndRejectsMalformedOnes) {
  std::vector<platform::FileFault> faults;
  std::string error;
  ASSERT_TRUE(platform::parseFileFaults("rename:/sent/:EACCES;;write:.tmp:28:2;unlink::EIO;", faults, error));
  ASSERT_EQ(faults.size(), 3u);
  EXPECT_EQ(faults[0].operation, platform::FileOperation::kRename);
  EXPECT_EQ(faults[0].pathPart, "/sent/");
  EXPECT_EQ(faults[0].error, EACCES);
  EXPECT_EQ(faults[0].skip, 0u);
  EXPECT_EQ(faults[1].error, ENOSPC);
  EXPECT_EQ(faults[1].skip, 2u);
  EXPECT_EQ(faults[2].pathPart, "");

  for (const char* bad : {"remove:x:EIO", "write:x", "write:x:ENOTANERROR", "write:x:0", "write:x:EIO:many",
                          "write:x:EIO:1:2:3", "write:x:EIO::2", "open:EIO:x:ENOSPC:-1"}) {
    EXPECT_FALSE(platform::parseFileFaults(std::string("open::EIO;") + bad, faults, error)) << bad;
    EXPECT_TRUE(faults.empty()) << bad;
    EXPECT_NE(error.find(bad), std::string::npos) << error;
  }
}

TEST_F(FileFaultTest, RenameFailsWithTheInjectedErrorAndKeepsTheSource) {
  std::filesystem::create_directories(dir_.path() / "sent");
  std::filesystem::create_directories(dir_.path() / "kept");
  inject("rename:/sent/:EACCES");
  const std::string from = dir_.write("a", "payload");
  EXPECT_EQ(platform::moveFile(from, dir_.file("sent/a")), EACCES);
  EXPECT_EQ(readFile(from), "payload");
  EXPECT_FALSE(platform::pathExists(dir_.file("sent/a")));

  EXPECT_EQ(platform::replaceFileAtomically(dir_.file("sent/state"), "new"), EACCES);
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path() / "sent")) << "the temporary file was left behind";

  EXPECT_EQ(platform::moveFile(from, dir_.file("kept/a")), 0);
  EXPECT_EQ(readFile(dir_.file("kept/a")), "payload");
}

TEST_F(FileFaultTest, WritesToAMatchingPathFailWithNoSpaceWhileOthersSucceed) {
  inject("write:received:ENOSPC");
  EXPECT_EQ(platform::writeWholeFile(dir_.file("received.bin"), "data"), ENOSPC);
  EXPECT_EQ(platform::writeWholeFile(dir_.file("other.bin"), "data"), 0);
  EXPECT_EQ(readFile(dir_.file("other.bin")), "data");

  std::unique_ptr<platform::RandomAccessFile> file;
  platform::FileOpenMode mode;
  mode.write = mode.create = true;
  ASSERT_EQ(platform::RandomAccessFile::open(dir_.file("received.part"), mode, file), 0);
  EXPECT_EQ(file->writeAt(0, "data"), ENOSPC);

  EXPECT_EQ(platform::copyFile(dir_.file("other.bin"), dir_.file("received.copy")), ENOSPC);
  EXPECT_FALSE(platform::pathExists(dir_.file("received.copy"))) << "a partial copy was left behind";
}

TEST_F(FileFaultTest, SkipAndCountBoundTheFailingCalls) {
  inject("write:journal:ENOSPC:2");
  platform::AppendFile journal, other;
  ASSERT_EQ(journal.open(dir_.file("journal")), 0);
  ASSERT_EQ(other.open(dir_.file("other")), 0);
  EXPECT_EQ(other.write("x"), 0);  // a path that does not match uses no skip
  EXPECT_EQ(journal.write("a"), 0);
  EXPECT_EQ(journal.write(std::string(1 << 20, 'b')), 0);  // one write however large
  EXPECT_EQ(journal.write("c"), ENOSPC);
  EXPECT_EQ(journal.write("d"), ENOSPC);
  EXPECT_EQ(readFile(dir_.file("journal")), "a" + std::string(1 << 20, 'b'));

  // A file another program holds for a moment: two removals fail as a
  // sharing violation, the third goes through.
  inject("unlink:held:SHARING:0:2");
  const std::string held = dir_.write("held", "x");
  EXPECT_EQ(platform::removeFile(held), EBUSY);
  EXPECT_EQ(platform::removeFile(held), EBUSY);
  EXPECT_EQ(platform::removeFile(held), 0);
  EXPECT_FALSE(platform::pathExists(held));
}

// Programs started by end-to-end tests take their faults from the variable.
// Run without it, this test runs itself again in a child process with it set.
TEST(FileFaultEnvironmentTest, ProgramsTakeFaultsFromTheVariable) {
  if (!platform::environmentVariable(platform::kFileFaultsVariable)) {
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    std::string error;
    auto child = platform::ChildProcess::start(
        {platform::executablePath().value(), filter}, true, error,
        {std::string(platform::kFileFaultsVariable) + "=rename:/sent/:EACCES;write:.tmp:ENOSPC:1"});
    ASSERT_NE(child, nullptr) << error;
    std::string output;
    while (auto line = child->readLine(60000)) output += *line + "\n";
    EXPECT_EQ(child->wait(60000), 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
    return;
  }

  TempDirectory dir;
  std::filesystem::create_directories(dir.path() / "sent");
  EXPECT_EQ(platform::moveFile(dir.write("a", "x"), dir.file("sent/a")), EACCES);
  EXPECT_EQ(platform::writeWholeFile(dir.file("one.tmp"), "1"), 0);
  EXPECT_EQ(platform::writeWholeFile(dir.file("two.tmp"), "2"), ENOSPC);
  EXPECT_EQ(platform::writeWholeFile(dir.file("plain"), "3"), 0);
  // Read once: a later change of the variable changes nothing.
  platform::setEnvironmentVariable(platform::kFileFaultsVariable, std::string());
  EXPECT_EQ(platform::moveFile(dir.write("b", "x"), dir.file("sent/b")), EACCES);
}

}  // namespace
