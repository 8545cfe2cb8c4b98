#include "transport/xmlrpc_report.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/thread.h"
#include "transport/report_capture.h"

namespace {

using Quillex::report;
using Quillex::reportError;
using testing_support::ReportCapture;

TEST(ReportTest, LinesCarryTheThreadAndRespectTheVerbosity) {
  ReportCapture capture(2);
  report(2, "level %d", 2);
  report(3, "level %d", 3);
  reportError("failed %s", "here");
  const std::string suffix = ";TID=" + std::to_string(platform::currentThreadId());
  ASSERT_EQ(capture.logs().size(), 1u);
  EXPECT_EQ(capture.logs()[0], "level 2" + suffix);
  ASSERT_EQ(capture.errors().size(), 1u);
  EXPECT_EQ(capture.errors()[0], "failed here" + suffix);
}

TEST(ReportTest, ErrorsAreReportedAtVerbosityZero) {
  ReportCapture capture(0);
  report(1, "quiet");
  reportError("loud");
  EXPECT_TRUE(capture.logs().empty());
  EXPECT_EQ(capture.errors().size(), 1u);
}

TEST(ReportTest, LongTextsAreCutAndLoseTheThreadSuffix) {
  ReportCapture capture(0);
  reportError("%s", std::string(3000, 'x').c_str());
  ASSERT_EQ(capture.errors().size(), 1u);
  EXPECT_EQ(capture.errors()[0], std::string(2047, 'x'));
  // A text that fits but leaves no room for the suffix is kept whole, unsuffixed.
  reportError("%s", std::string(2040, 'y').c_str());
  EXPECT_EQ(capture.errors()[1], std::string(2040, 'y'));
}

}  // namespace
