// Running the converter in a child process with a chosen loader path, and
// reading its log. Used by the tests that need a fresh converter per case.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/cms_fixture.h"
#include "support/temp_directory.h"

namespace converter_testing {

// A provider build directory: "kind6", "kind5", "variants/kind6-init-fails",
// "variants/kind5-without-VCERT_SignedInfoFile", ...
std::string providerDirectory(const std::string& name);

struct ChildRun {
  int exitStatus = -1;
  std::string output;        // standard output, lines joined by '\n'
  std::uint64_t peakKib = 0; // the driver's "peak-rss-kib" figure
};

// Runs converter_driver on libdravontaux64.so (DravontAux64.dll) with the
// steps (see the driver) and the loader path (LD_LIBRARY_PATH, PATH) set to
// the given provider directories.
ChildRun runDriver(const std::vector<std::string>& providers, const std::vector<std::string>& steps);

// Runs dravont-aux with the arguments, likewise.
ChildRun runTool(const std::vector<std::string>& providers, const std::vector<std::string>& arguments);

// Runs `arguments[0]` with the rest, likewise.
ChildRun runProgram(const std::vector<std::string>& providers, const std::vector<std::string>& arguments);

// "log*level*a*b*c" from its fields.
std::string argumentText(const std::vector<std::string>& fields);

struct LogRecord {
  int fraction = -1;     // the three digits after the seconds
  std::string message;   // continuation lines joined with '\n'
};

// Parses a converter log. Every line must end with CR LF and every record
// must start with "- HH:MM:SS.mmm ERROR: "; `wellFormed` reports whether
// the text kept to that.
std::vector<LogRecord> parseLog(const std::string& text, bool& wellFormed);

// Base of the tests that run the converter: a fresh directory per test and
// one test signer for the whole binary.
class ConverterTest : public testing::Test {
 protected:
  static cms_testing::TestSigner& signer();
  std::string file(const std::string& name) const { return directory_.file(name); }
  // Signs `size` pattern bytes (kept in file(name + ".content")) in `form`
  // into file(name) and returns that path.
  std::string signedFile(const std::string& name, cms_testing::SignedForm form, std::uint64_t size = 100000);
  // The records of a log file, which must be well formed.
  static std::vector<LogRecord> logRecords(const std::string& path);

  testing_support::TempDirectory directory_;
};

}  // namespace converter_testing
