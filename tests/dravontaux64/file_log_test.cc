// The file logger: record layout, CR LF line ends, level filtering and the
// level names callers give.
#include "dravontaux64/file_log.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

using dravontaux64::FILELog;
using dravontaux64::LogLevel;
using dravontaux64::Output2FILE;

class FileLogTest : public testing::Test {
 protected:
  void SetUp() override {
    savedStream_ = Output2FILE::logStream();
    savedLevel_ = FILELog::reportingLevel();
    file_ = std::tmpfile();
    ASSERT_NE(file_, nullptr);
    Output2FILE::logStream() = file_;
  }
  void TearDown() override {
    Output2FILE::logStream() = savedStream_;
    FILELog::reportingLevel() = savedLevel_;
    std::fclose(file_);
  }

  std::string written() const {
    std::string text;
    std::rewind(file_);
    char buffer[512];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file_)) > 0;) text.append(buffer, got);
    return text;
  }

  std::FILE* file_ = nullptr;
  std::FILE* savedStream_ = nullptr;
  LogLevel savedLevel_ = LogLevel::kDebug4;
};

TEST_F(FileLogTest, WritesOneRecordWithTimeLevelAndCrLfLineEnds) {
  FILE_LOG(LogLevel::kError) << "first line\nsecond line";
  const std::string text = written();
  EXPECT_TRUE(std::regex_match(text, std::regex("- \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d ERROR: first line\r\nsecond line\r\n")))
      << text;
}

TEST_F(FileLogTest, WritesNothingWithoutAStreamAndDoesNotComposeTheMessage) {
  Output2FILE::logStream() = nullptr;
  int evaluated = 0;
  FILE_LOG(LogLevel::kError) << ++evaluated;
  EXPECT_EQ(evaluated, 0);
  Output2FILE::logStream() = file_;
  EXPECT_EQ(written(), "");
}

TEST_F(FileLogTest, LevelsAboveTheReportingLevelAreNotWritten) {
  FILELog::reportingLevel() = LogLevel::kError;
  FILE_LOG(LogLevel::kWarning) << "dropped";
  FILE_LOG(LogLevel::kError) << "kept";
  FILELog::reportingLevel() = LogLevel::kDebug;
  FILE_LOG(LogLevel::kDebug1) << "dropped";
  FILE_LOG(LogLevel::kDebug) << "kept";
  const std::string text = written();
  EXPECT_EQ(text.find("dropped"), std::string::npos);
  EXPECT_NE(text.find("ERROR: kept\r\n"), std::string::npos);
  EXPECT_NE(text.find("DEBUG: kept\r\n"), std::string::npos);
}

TEST_F(FileLogTest, LevelNamesMapExactlyAndCaseSensitively) {
  EXPECT_EQ(FILELog::fromString("error"), LogLevel::kError);
  EXPECT_EQ(FILELog::fromString("warning"), LogLevel::kWarning);
  EXPECT_EQ(FILELog::fromString("debug"), LogLevel::kDebug);
  for (const char* other : {"info", "Error", "ERROR", "Warning", "DEBUG", "debug1", "", " error"}) {
    EXPECT_EQ(FILELog::fromString(other), LogLevel::kInfo) << other;
  }
}

TEST_F(FileLogTest, ErrorRecordsAreWrittenAtEveryLevelACallerCanName) {
  for (const char* name : {"error", "Error", "warning", "debug", "anything"}) {
    FILELog::reportingLevel() = FILELog::fromString(name);
    FILE_LOG(LogLevel::kError) << name;
  }
  const std::string text = written();
  for (const char* name : {"error", "Error", "warning", "debug", "anything"}) {
    EXPECT_NE(text.find(std::string("ERROR: ") + name + "\r\n"), std::string::npos) << name;
  }
}

TEST(NowTimeTest, GivesTimeOfDayWithAMillisecondFraction) {
  EXPECT_TRUE(std::regex_match(dravontaux64::NowTime(), std::regex("\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d")));
}

}  // namespace
