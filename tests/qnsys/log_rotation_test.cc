// The log file rotated at [qnsys]:logmaxsize: whole records, none lost, old
// files bounded by logkeep, and renames that another program prevents.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_faults.h"
#include "qnsys/qnsys.h"
#include "log_test_fixture.h"

namespace qnsys_test {
namespace {

constexpr std::uintmax_t kMebibyte = 1 << 20;

class LogFileRotationTest : public LogTest {
 protected:
  void TearDown() override {
    platform::clearFileFaults();
    LogTest::TearDown();
  }

  // Records numbered [first, end), each carrying `payloadSize` bytes.
  void writeRecords(int first, int end, std::size_t payloadSize) {
    payloadSize_ = payloadSize;
    const std::string payload(payloadSize, 'x');
    for (int number = first; number < end; ++number) QnLogInfoEx("Brivane", "record %d %s", number, payload.c_str());
  }

  // The numbers of the records in the files, in file order; a record cut
  // short or with another record's bytes fails the test.
  std::vector<int> recordNumbers(const std::vector<std::string>& names) const {
    constexpr std::string_view kPrefix = "INFO Brivane: record ";
    std::vector<int> numbers;
    for (const std::string& name : names) {
      for (const std::string& line : linesOf(name)) {
        const std::string record = withoutTimestamp(line);
        if (record.rfind("WARNING qnsys: ", 0) == 0) continue;  // the library's own
        const std::size_t blank = record.find(' ', kPrefix.size());
        if (record.rfind(kPrefix, 0) != 0 || blank == std::string::npos ||
            record.size() - blank - 1 != payloadSize_ || record.find_first_not_of('x', blank + 1) != std::string::npos) {
          ADD_FAILURE() << name << ": " << record.substr(0, 80);
          continue;
        }
        numbers.push_back(std::stoi(record.substr(kPrefix.size(), blank - kPrefix.size())));
      }
    }
    return numbers;
  }

  bool exists(const std::string& name) const { return std::filesystem::exists(directory_.file(name)); }
  std::uintmax_t sizeOf(const std::string& name) const { return std::filesystem::file_size(directory_.file(name)); }

  std::size_t payloadSize_ = 0;
};

std::vector<int> numbersFrom(int first, int end) {
  std::vector<int> numbers(static_cast<std::size_t>(end - first));
  std::iota(numbers.begin(), numbers.end(), first);
  return numbers;
}

// Four rotations of 1 MiB with a reopen (SIGUSR1) in the middle of a file.
TEST_F(LogFileRotationTest, RotatesAtTheLimitAcrossReopensKeepingRecordsWholeAndLogkeepOldFiles) {
  ASSERT_EQ(openLog("logfile=app.log\nlogmaxsize=1\nlogkeep=2\n"), 0u);
  constexpr std::size_t kPayload = 20000;
  writeRecords(0, 70, kPayload);
  ASSERT_EQ(QnLogOpen(0), 0u);
  writeRecords(70, 220, kPayload);

  EXPECT_FALSE(exists("app.log.3"));
  for (const char* old : {"app.log.2", "app.log.1"}) {
    SCOPED_TRACE(old);
    EXPECT_LE(sizeOf(old), kMebibyte);
    EXPECT_GT(sizeOf(old), kMebibyte - 2 * kPayload);  // rotated only when the next record did not fit
  }
  const std::vector<int> kept = recordNumbers({"app.log.2", "app.log.1", "app.log"});
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(kept, numbersFrom(kept.front(), 220));
}

TEST_F(LogFileRotationTest, FileOnlyGrowsWithoutALimitAndABadValueIsReported) {
  struct Case {
    const char* settings;
    const char* warning;  // the first record's beginning, or nullptr for none
  };
  const Case cases[] = {
      {"", nullptr},
      {"logmaxsize=0\n", nullptr},
      {"logmaxsize=1MB\n", "WARNING qnsys: bad logmaxsize \"1MB\""},
      {"logmaxsize=-1\n", "WARNING qnsys: bad logmaxsize \"-1\""},
      {"logkeep=0\n", "WARNING qnsys: bad logkeep \"0\""},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    const std::string name = "case" + std::to_string(index++) + ".log";
    ASSERT_EQ(openLog("logfile=" + name + "\n" + c.settings), 0u);
    writeRecords(0, 60, 20000);  // 1.2 MiB

    EXPECT_FALSE(exists(name + ".1"));
    const std::vector<std::string> lines = linesOf(name);
    ASSERT_EQ(lines.size(), c.warning != nullptr ? 61u : 60u);
    if (c.warning != nullptr) {
      EXPECT_EQ(withoutTimestamp(lines[0]).rfind(c.warning, 0), 0u) << lines[0];
    }
  }
}

// A program holds app.log.1 (on Windows its rename then fails) for three
// tries after the first rotation.
TEST_F(LogFileRotationTest, FailedRenameKeepsLoggingIntoTheCurrentFileAndRotatesLater) {
  platform::setFileFaults({{platform::FileOperation::kRename, "app.log.1", EBUSY, 1, 3}});
  ASSERT_EQ(openLog("logfile=app.log\nlogmaxsize=1\n"), 0u);
  testing::internal::CaptureStderr();
  writeRecords(0, 400, 8000);
  const std::string captured = testing::internal::GetCapturedStderr();

  // The warning goes into the file it writes on to, once: a service has no
  // standard error.
  EXPECT_EQ(captured, "");
  std::vector<std::string> warnings;
  for (const char* name : {"app.log.2", "app.log.1", "app.log"}) {
    for (const std::string& line : linesOf(name)) {
      if (line.find("WARNING qnsys: cannot rotate the log file") != std::string::npos) warnings.push_back(line);
    }
  }
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("(errno " + std::to_string(EBUSY) + ")"), std::string::npos) << warnings[0];

  // Held through three tries a sixteenth of the limit apart, then rotated.
  EXPECT_GT(sizeOf("app.log.1"), kMebibyte + 2 * kMebibyte / 16);
  EXPECT_LT(sizeOf("app.log.1"), kMebibyte + 4 * kMebibyte / 16 + 1024);
  EXPECT_FALSE(exists("app.log.3"));
  EXPECT_EQ(recordNumbers({"app.log.2", "app.log.1", "app.log"}), numbersFrom(0, 400));
}

}  // namespace
}  // namespace qnsys_test
