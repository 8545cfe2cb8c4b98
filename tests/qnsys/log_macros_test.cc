// The level flags behind the trcheckEx_ calls and the guarded-logging macros
// that cache them per call site.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "log_test_fixture.h"
#include "qnsys/qnsys.h"

namespace qnsys_test {
namespace {

TEST_F(LogTest, CheckedCallsReturnTheLevelFlagAndWriteOnlyWhenEnabled) {
  ASSERT_EQ(openLog("logfile=app.log\nloglevel=warning\n"), 0u);
  int* const info = trcheckEx_QnLogInfoEx_("T", "hidden %d", 1);
  int* const warning = trcheckEx_QnLogWarningEx_("T", "shown %d", 2);
  int* const error = trcheckEx_QnLogErrorEx_("T", "shown %d", 3);
  EXPECT_EQ(trcheckEx_QnLogInfoEx_0("T", "hidden"), info);
  EXPECT_EQ(*info, 0);
  EXPECT_NE(*warning, 0);
  EXPECT_NE(*error, 0);
  const std::vector<std::string> lines = linesOf("app.log");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(withoutTimestamp(lines[0]), "WARNING T: shown 2");
  EXPECT_EQ(withoutTimestamp(lines[1]), "ERROR T: shown 3");

  // The same flag follows later configuration.
  ASSERT_EQ(openLog("logfile=app.log\nloglevel=debug\n"), 0u);
  EXPECT_EQ(trcheckEx_QnLogInfoEx_("T", "now shown"), info);
  EXPECT_NE(*info, 0);
  ASSERT_EQ(openLog("logfile=app.log\nloglevel=fatal\n"), 0u);
  EXPECT_EQ(*error, 0);
  QnLogClose();
  EXPECT_NE(*info, 0);
}

// One call site, so its cache starts empty in the test that uses it.
void infoSite(int& evaluations) { QN_LOG_INFO("Site", "call %d", ++evaluations); }
void warningSite() { QN_LOG_WARNING("Site", "warning once"); }

TEST_F(LogTest, GuardedSiteWritesTheFirstRecordOnceThroughTheCheckedCall) {
  ASSERT_EQ(openLog("logfile=app.log\n"), 0u);
  warningSite();
  const std::vector<std::string> lines = linesOf("app.log");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(withoutTimestamp(lines[0]), "WARNING Site: warning once");
}

TEST_F(LogTest, GuardedSiteFollowsTheLevelAndSkipsArgumentsWhileDisabled) {
  int evaluations = 0;
  ASSERT_EQ(openLog("logfile=app.log\nloglevel=error\n"), 0u);
  infoSite(evaluations);  // first call: through the checked call, not written
  infoSite(evaluations);  // cached and disabled: arguments not evaluated
  EXPECT_EQ(evaluations, 1);

  ASSERT_EQ(openLog("logfile=app.log\nloglevel=info\n"), 0u);
  infoSite(evaluations);
  ASSERT_EQ(openLog("logfile=app.log\nloglevel=error\n"), 0u);
  infoSite(evaluations);

  const std::vector<std::string> lines = linesOf("app.log");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(withoutTimestamp(lines[0]), "INFO Site: call 2");
}

TEST_F(LogTest, MacrosTakeFormatsWithoutArguments) {
  ASSERT_EQ(openLog("logfile=app.log\n"), 0u);
  QN_LOG_INFO0("M", "info0");
  QN_LOG_INFO("M", "info");
  QN_LOG_WARNING("M", "warning %s", "x");
  QN_LOG_ERROR("M", "error");
  QN_LOG_FATAL("M", "fatal");
  QN_LOG_FATAL("M", "fatal %d", 2);
  std::vector<std::string> records;
  for (const std::string& line : linesOf("app.log")) records.push_back(withoutTimestamp(line));
  EXPECT_EQ(records, (std::vector<std::string>{"INFO M: info0", "INFO M: info", "WARNING M: warning x",
                                               "ERROR M: error", "FATAL M: fatal", "FATAL M: fatal 2"}));
}

TEST_F(LogTest, ConcurrentWritersProduceOnlyWholeLines) {
  ASSERT_EQ(openLog("logfile=app.log\n"), 0u);
  constexpr int kThreads = 8;
  constexpr int kRecords = 250;
  const std::string padding(200, 'p');
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &padding] {
      for (int r = 0; r < kRecords; ++r) {
        if (r % 2 == 0) {
          QN_LOG_INFO("Worker", "thread %d record %d %s", t, r, padding.c_str());
        } else {
          QnLogInfoEx("Worker", "thread %d record %d %s", t, r, padding.c_str());
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::map<std::pair<int, int>, int> seen;
  for (const std::string& line : linesOf("app.log")) {
    int thread = -1;
    int record = -1;
    int consumed = 0;
    const std::string text = withoutTimestamp(line);
    ASSERT_EQ(std::sscanf(text.c_str(), "INFO Worker: thread %d record %d %n", &thread, &record, &consumed), 2)
        << line.substr(0, 120);
    ASSERT_EQ(text.substr(static_cast<std::size_t>(consumed)), padding) << line.substr(0, 120);
    ++seen[{thread, record}];
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kRecords));
  for (const auto& [key, count] : seen) EXPECT_EQ(count, 1) << key.first << "/" << key.second;
}

}  // namespace
}  // namespace qnsys_test
