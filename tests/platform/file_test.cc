#include "platform/file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/file_lock.h"
#include "platform/random_access_file.h"
#include "support/self_child.h"
#include "support/temp_directory.h"

namespace {

using testing_support::readFile;
using testing_support::TempDirectory;

TEST(FileTest, ReadWholeFileReportsDirectoriesAndAbsence) {
  TempDirectory dir;
  std::string contents = "stale";
  EXPECT_EQ(platform::readWholeFile(dir.file("missing"), contents), ENOENT);
  EXPECT_TRUE(contents.empty());
  EXPECT_EQ(platform::readWholeFile(dir.path().string(), contents), EISDIR);
  const std::string binary("a\0b\r\n\xff", 6);
  ASSERT_EQ(platform::writeWholeFile(dir.file("data"), binary), 0);
  ASSERT_EQ(platform::readWholeFile(dir.file("data"), contents), 0);
  EXPECT_EQ(contents, binary);
}

TEST(FileTest, MoveNeverReplacesAnExistingFile) {
  TempDirectory dir;
  const std::string from = dir.write("from", "new");
  const std::string to = dir.write("to", "old");
  EXPECT_EQ(platform::moveFile(from, to), EEXIST);
  EXPECT_EQ(readFile(to), "old");
  EXPECT_EQ(readFile(from), "new");
  EXPECT_EQ(platform::moveFile(from, dir.file("fresh")), 0);
  EXPECT_FALSE(platform::pathExists(from));
  EXPECT_EQ(readFile(dir.file("fresh")), "new");
}

TEST(FileTest, MoveAcrossFileSystemsCopiesThenRemoves) {
  // /dev/shm is a separate file system from the temporary directory on most
  // machines; where it is not, the plain rename path is exercised instead.
  if (!std::filesystem::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
  TempDirectory dir;
  const std::string from = dir.write("payload", std::string(200000, 'p'));
  const std::string to = "/dev/shm/trasvik-move-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed());
  std::filesystem::remove(to);
  ASSERT_EQ(platform::moveFile(from, to), 0);
  EXPECT_FALSE(platform::pathExists(from));
  EXPECT_EQ(readFile(to), std::string(200000, 'p'));
  std::filesystem::remove(to);
}

TEST(FileTest, FailedCopyKeepsTheSource) {
  TempDirectory dir;
  const std::string from = dir.write("payload", "keep me");
  EXPECT_NE(platform::copyFile(from, dir.file("no/such/dir/target")), 0);
  EXPECT_EQ(readFile(from), "keep me");
}

TEST(FileTest, ConcurrentAppendsKeepRecordsWhole) {
  TempDirectory dir;
  const std::string path = dir.file("log");
  constexpr int kThreads = 4, kRecords = 500;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      platform::AppendFile file;
      ASSERT_EQ(file.open(path), 0);
      const std::string record = std::string(300, static_cast<char>('a' + t)) + "\n";
      for (int i = 0; i < kRecords; ++i) ASSERT_EQ(file.write(record), 0);
    });
  }
  for (auto& writer : writers) writer.join();
  const std::string all = readFile(path);
  ASSERT_EQ(all.size(), static_cast<std::size_t>(kThreads * kRecords * 301));
  for (std::size_t line = 0; line < all.size(); line += 301) {
    EXPECT_EQ(all.substr(line, 300), std::string(300, all[line])) << "record at " << line << " is mixed";
  }
}

TEST(FileTest, EveryFlushToDiskIsCounted) {
  TempDirectory dir;
  const std::uint64_t before = platform::durableFlushCount();
  ASSERT_EQ(platform::writeWholeFile(dir.file("data"), "bytes"), 0);
  EXPECT_EQ(platform::durableFlushCount(), before + 1);
  ASSERT_EQ(platform::replaceFileAtomically(dir.file("data"), "more bytes"), 0);  // the file, then its directory
  EXPECT_EQ(platform::durableFlushCount(), before + 3);
}

TEST(FileTest, AnExclusiveLockIsRefusedToASecondHolderUntilTheFirstLetsGo) {
  TempDirectory dir;
  int error = 0;
  auto first = platform::ExclusiveFileLock::tryAcquire(dir.file("store.lock"), error);
  ASSERT_NE(first, nullptr) << error;
  EXPECT_EQ(platform::ExclusiveFileLock::tryAcquire(dir.file("store.lock"), error), nullptr);
  EXPECT_EQ(error, EWOULDBLOCK);
  first.reset();
  EXPECT_NE(platform::ExclusiveFileLock::tryAcquire(dir.file("store.lock"), error), nullptr) << error;
}

// The child's part: holds the file it is given open for writing until it is
// killed.
TEST(FileWriterChild, HoldsAFileOpenForWriting) {
  const std::string path = testing_support::selfChildArgument();
  if (path.empty()) GTEST_SKIP() << "the child of FileTest.AFileAnotherProcessWritesIsRefusedUntilReleased";
  platform::FileOpenMode mode;
  mode.write = true;
  std::unique_ptr<platform::RandomAccessFile> file;
  ASSERT_EQ(platform::RandomAccessFile::open(path, mode, file), 0);
  std::printf("holding\n");
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::seconds(60));
}

// A file another process still writes is refused to a reader that asks so
// (a sharing violation on Windows), and opens once the writer has gone;
// while read, it can still be moved on by its owner.
TEST(FileTest, AFileAnotherProcessWritesIsRefusedUntilReleased) {
  TempDirectory dir;
  const std::string path = dir.write("growing.dat", "first half");
  std::string error;
  auto writer = testing_support::startSelfChild("FileWriterChild.HoldsAFileOpenForWriting", path, error);
  ASSERT_NE(writer, nullptr) << error;
  ASSERT_TRUE(testing_support::awaitLine(*writer, "holding"));
  platform::FileOpenMode mode;
  mode.read = true;
  mode.refuseWhileWritten = true;
  std::unique_ptr<platform::RandomAccessFile> file;
  EXPECT_EQ(platform::RandomAccessFile::open(path, mode, file), EBUSY);
  writer->kill();
  writer->wait(20000);
  EXPECT_EQ(platform::RandomAccessFile::open(path, mode, file), 0);
  EXPECT_EQ(platform::moveFile(path, dir.file("sent.dat")), 0);
  EXPECT_FALSE(platform::pathExists(path));
}

}  // namespace
