// Log records through the C interface: layout, destinations and levels.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "qnsys/qnsys.h"
#include "log_test_fixture.h"

namespace qnsys_test {
namespace {

using Lines = std::vector<std::string>;

TEST_F(LogTest, WritesDateTimeWithMillisecondsLevelFacilityAndText) {
  ASSERT_EQ(openLog("logfile=app.log\n"), 0u);
  QnLogWarningEx("Brivane", "rule %s sent %d files", "IN", 3);
  QnLogInfoEx(nullptr, "no facility");

  const Lines lines = linesOf("app.log");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(withoutTimestamp(lines[0]), "WARNING Brivane: rule IN sent 3 files");
  EXPECT_EQ(withoutTimestamp(lines[1]), "INFO no facility");
}

TEST_F(LogTest, WritesOnlyLevelsUpToTheConfiguredOne) {
  struct Case {
    const char* word;
    Lines expected;
  };
  const std::vector<Case> cases = {
      {"fatal", {"FATAL f: fatal"}},
      {"Error", {"ERROR f: error", "FATAL f: fatal"}},
      {"WARNING", {"WARNING f: warning", "ERROR f: error", "FATAL f: fatal"}},
      {"info", {"INFO f: info", "WARNING f: warning", "ERROR f: error", "FATAL f: fatal"}},
      {"debug", {"INFO f: info", "WARNING f: warning", "ERROR f: error", "FATAL f: fatal"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    const std::string file = std::string(c.word) + ".log";
    ASSERT_EQ(openLog("logfile=" + file + "\nloglevel=" + c.word + "\n"), 0u);
    QnLogInfoEx("f", "info");
    QnLogWarningEx("f", "warning");
    QnLogErrorEx("f", "error");
    QnLogFatalEx("f", "fatal");
    Lines records;
    for (const std::string& line : linesOf(file)) records.push_back(withoutTimestamp(line));
    EXPECT_EQ(records, c.expected);
  }
}

TEST_F(LogTest, ResolvesLogFileAgainstTheIniDirectory) {
  std::filesystem::create_directory(directory_.path() / "logs");
  ASSERT_NE(std::filesystem::current_path(), directory_.path());
  ASSERT_EQ(openLog("logfile = logs/../logs/gateway.log\n"), 0u);
  QnLogInfoEx("Brivane", "started");
  EXPECT_EQ(linesOf("logs/gateway.log").size(), 1u);
}

TEST_F(LogTest, KeepsMultiLineTextInOneRecordEndingInOneLineBreak) {
  ASSERT_EQ(openLog("logfile=app.log\n"), 0u);
  QnLogErrorEx("Brivane", "first\nsecond\r\nthird\n\n");
  const std::string contents = testing_support::readFile(directory_.file("app.log"));
  EXPECT_EQ(withoutTimestamp(contents), "ERROR Brivane: first\nsecond\r\nthird\n");
}

TEST_F(LogTest, WritesLongRecordsWhole) {
  ASSERT_EQ(openLog("logfile=app.log\n"), 0u);
  const std::string payload(100 * 1024, 'x');
  QnLogInfoEx("Brivane", "<%s>", payload.c_str());
  const Lines lines = linesOf("app.log");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(withoutTimestamp(lines[0]), "INFO Brivane: <" + payload + ">");
}

TEST_F(LogTest, UnopenableLogFileGivesAnErrorAndLogsToStandardError) {
  testing::internal::CaptureStderr();
  const unsigned int result = openLog("logfile=no/such/directory/app.log\nloglevel=warning\n");
  QnLogWarningEx("Brivane", "still logged");
  QnLogInfoEx("Brivane", "below the level");
  const std::string captured = testing::internal::GetCapturedStderr();

  EXPECT_EQ(result, QNERROR_LOG_OPEN_FAILED);
  const std::string logFile = std::filesystem::path(directory_.file("no/such/directory/app.log")).make_preferred().string();
  EXPECT_NE(captured.find("ERROR qnsys: cannot open log file \"" + logFile),
            std::string::npos)
      << captured;
  EXPECT_NE(captured.find("WARNING Brivane: still logged\n"), std::string::npos) << captured;
  EXPECT_EQ(captured.find("below the level"), std::string::npos) << captured;
}

TEST_F(LogTest, UnknownLogLevelMeansInfoAndSaysSoOnce) {
  ASSERT_EQ(openLog("logfile=app.log\nloglevel=chatty\n"), 0u);
  QnLogInfoEx("Brivane", "info is on");
  const Lines lines = linesOf("app.log");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(withoutTimestamp(lines[0]).rfind("WARNING qnsys: unknown loglevel \"chatty\"", 0), 0u) << lines[0];
  EXPECT_EQ(withoutTimestamp(lines[1]), "INFO Brivane: info is on");
}

TEST_F(LogTest, LogsToStandardErrorAtInfoBeforeOpenAndAfterClose) {
  testing::internal::CaptureStderr();
  QnLogInfoEx("Brivane", "before open");
  const unsigned int result = openLog("logfile=app.log\nloglevel=error\n");
  QnLogInfoEx("Brivane", "filtered");
  QnLogClose();
  QnLogInfoEx("Brivane", "after close");
  const std::string captured = testing::internal::GetCapturedStderr();

  EXPECT_EQ(result, 0u);
  EXPECT_NE(captured.find("INFO Brivane: before open\n"), std::string::npos) << captured;
  EXPECT_NE(captured.find("INFO Brivane: after close\n"), std::string::npos) << captured;
  EXPECT_EQ(captured.find("filtered"), std::string::npos) << captured;
  EXPECT_TRUE(linesOf("app.log").empty());
}

TEST_F(LogTest, LogOpenWithoutIniFileReportsNotOpen) { EXPECT_EQ(QnLogOpen(0), QNERROR_NOT_OPEN); }

TEST_F(LogTest, SystemLogWritesFatalRecordWithTitleToFileAndStandardError) {
  ASSERT_EQ(openLog("logfile=app.log\nloglevel=fatal\n"), 0u);
  testing::internal::CaptureStderr();
  QnSystemLogEx(3, "QnZoRezida:CRITICAL ERROR!", 1, "Critical error in  %s (%d). Program aborted.", "main.cc", 12);
  const std::string captured = testing::internal::GetCapturedStderr();

  const std::string expected =
      "FATAL system: QnZoRezida:CRITICAL ERROR! Critical error in  main.cc (12). Program aborted.";
  const Lines lines = linesOf("app.log");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(withoutTimestamp(lines[0]), expected);
  EXPECT_EQ(withoutTimestamp(captured), expected + "\n");
}

}  // namespace
}  // namespace qnsys_test
