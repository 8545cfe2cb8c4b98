// Shared set-up for the log tests: an INI file whose [qnsys] section the test
// chooses, the log opened from it, and the log file's lines.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "qnsys/qnsys.h"
#include "support/temp_directory.h"

namespace qnsys_test {

class LogTest : public testing::Test {
 protected:
  void TearDown() override {
    QnLogClose();
    QnIniClose();
  }

  // Writes app.ini with `settings` as the body of [qnsys], opens it and then
  // the log; returns QnLogOpen's result.
  unsigned int openLog(const std::string& settings) {
    const std::string ini = directory_.write("app.ini", "[qnsys]\n" + settings);
    EXPECT_EQ(QnIniOpen(ini.c_str()), 0u);
    return QnLogOpen(0);
  }

  // The file's records, each without its "\n"; a last line without "\n"
  // fails the test.
  std::vector<std::string> linesOf(const std::string& name) const {
    const std::string contents = testing_support::readFile(directory_.file(name));
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < contents.size()) {
      const std::size_t end = contents.find('\n', start);
      if (end == std::string::npos) {
        ADD_FAILURE() << "unterminated last line: " << contents.substr(start);
        break;
      }
      lines.push_back(contents.substr(start, end - start));
      start = end + 1;
    }
    return lines;
  }

  testing_support::TempDirectory directory_;
};

// The text after the "YYYY-MM-DD HH:MM:SS.mmm " that begins every record, or
// "<no timestamp>: line" when the line does not begin with one.
inline std::string withoutTimestamp(const std::string& line) {
  constexpr std::string_view kShape = "NNNN-NN-NN NN:NN:NN.NNN ";  // N: a decimal digit
  bool matches = line.size() >= kShape.size();
  for (std::size_t i = 0; matches && i < kShape.size(); ++i) {
    const char c = line[i];
    matches = kShape[i] == 'N' ? (c >= '0' && c <= '9') : c == kShape[i];
  }
  return matches ? line.substr(kShape.size()) : "<no timestamp>: " + line;
}

}  // namespace qnsys_test
