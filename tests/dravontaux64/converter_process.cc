#include "converter_process.h"

#include <regex>

#include "support/temp_directory.h"

#include "platform/child_process.h"

namespace converter_testing {

namespace {

ChildRun run(std::vector<std::string> arguments, const std::vector<std::string>& providers) {
  std::string path;
  for (const std::string& directory : providers) {
    if (!path.empty()) path += static_cast<char>(LOADER_PATH_SEPARATOR);
    path += directory;
  }
  ChildRun result;
  std::string error;
  auto child = platform::ChildProcess::start(arguments, true, error, {std::string(LOADER_PATH_VARIABLE) + "=" + path});
  if (child == nullptr) {
    result.output = error;
    return result;
  }
  constexpr int kTimeoutMilliseconds = 300000;
  while (auto line = child->readLine(kTimeoutMilliseconds)) {
    if (line->rfind("peak-rss-kib ", 0) == 0) result.peakKib = std::stoull(line->substr(13));
    result.output += *line + "\n";
  }
  result.exitStatus = child->wait(kTimeoutMilliseconds).value_or(-1);
  return result;
}

}  // namespace

std::string providerDirectory(const std::string& name) { return std::string(PROVIDER_BINARY_DIR) + "/" + name; }

cms_testing::TestSigner& ConverterTest::signer() {
  static testing_support::TempDirectory directory;
  static cms_testing::TestSigner shared(directory.path().string());
  return shared;
}

std::string ConverterTest::signedFile(const std::string& name, cms_testing::SignedForm form, std::uint64_t size) {
  const std::string content = file(name + ".content");
  const std::string signedPath = file(name);
  EXPECT_TRUE(cms_testing::writePatternFile(content, size));
  EXPECT_TRUE(signer().sign(content, signedPath, form));
  return signedPath;
}

std::vector<LogRecord> ConverterTest::logRecords(const std::string& path) {
  bool wellFormed = false;
  std::vector<LogRecord> records = parseLog(testing_support::readFile(path), wellFormed);
  EXPECT_TRUE(wellFormed) << "log lines must end with CR LF and start records with the time and level";
  return records;
}

ChildRun runDriver(const std::vector<std::string>& providers, const std::vector<std::string>& steps) {
  std::vector<std::string> arguments{CONVERTER_DRIVER, CONVERTER_LIBRARY};
  arguments.insert(arguments.end(), steps.begin(), steps.end());
  return run(arguments, providers);
}

ChildRun runTool(const std::vector<std::string>& providers, const std::vector<std::string>& arguments) {
  std::vector<std::string> all{CONVERTER_TOOL};
  all.insert(all.end(), arguments.begin(), arguments.end());
  return run(all, providers);
}

ChildRun runProgram(const std::vector<std::string>& providers, const std::vector<std::string>& arguments) {
  return run(arguments, providers);
}

std::string argumentText(const std::vector<std::string>& fields) {
  std::string text;
  for (const std::string& field : fields) text += (text.empty() ? "" : "*") + field;
  return text;
}

std::vector<LogRecord> parseLog(const std::string& text, bool& wellFormed) {
  static const std::regex kRecordStart(R"(^- \d\d:\d\d:\d\d\.(\d\d\d) ERROR: (.*)$)");
  std::vector<LogRecord> records;
  wellFormed = text.empty() || (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0);
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos || end == start || text[end - 1] != '\r') {
      wellFormed = false;
      break;
    }
    const std::string line = text.substr(start, end - 1 - start);
    start = end + 1;
    std::smatch match;
    if (std::regex_match(line, match, kRecordStart)) {
      records.push_back(LogRecord{std::stoi(match[1]), match[2]});
    } else if (!records.empty()) {
      records.back().message += "\n" + line;
    } else {
      wellFormed = false;
    }
  }
  return records;
}

}  // namespace converter_testing
