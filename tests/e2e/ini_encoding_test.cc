// INI files as editors save them: UTF-8 with a byte order mark (Notepad's
// default) and UTF-16, read in their encoding, their values used in the
// ANSI code page; a value that code page cannot write stops the start.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/gateway_setup.h"

namespace gateway_testing {
namespace {

using testing_support::kWindows;
namespace fs = std::filesystem;

// Wine takes the ANSI code page from the locale it is started in, once for
// all its programs: 1252 in the tests' setting (scripts/wine-environment).
// Names in Latin letters with accents stand for those a code page writes,
// Cyrillic ones for those it cannot.
constexpr char kWritable[] = "R\xC3\xA9" "ception";  // Réception
constexpr char kNotWritable[] = "\xD0\x92\xD1\x85\xD0\xBE\xD0\xB4\xD1\x8F\xD1\x89\xD0\xB8\xD0\xB5";  // Входящие

std::string withUtf8Mark(const std::string& text) { return "\xEF\xBB\xBF" + text; }

std::string asUtf16LittleEndianWithMark(const std::string& text) {
  std::string bytes = "\xFF\xFE";
  const auto unit = [&](std::uint32_t value) {
    bytes += static_cast<char>(value & 0xFF);
    bytes += static_cast<char>(value >> 8);
  };
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    std::uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += extra + 1;
    if (code >= 0x10000) {
      unit(0xD800 + ((code - 0x10000) >> 10));
      unit(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      unit(code);
    }
  }
  return bytes;
}

class IniEncodingTest : public testing::Test {
 protected:
  IniEncodingTest() { setup.useMainRule("FILE"); }
  // The rule's incoming directory, named `name` (UTF-8), made unless not `made`.
  fs::path useIncoming(const char* name, bool made = true) {
    const fs::path incoming = setup.directory().path() / fs::path(reinterpret_cast<const char8_t*>(name));
    if (made) fs::create_directory(incoming);
    setup.set("main", "in", setup.directory().path().string() + "/" + name + "/");
    return incoming;
  }
  static std::size_t filesIn(const fs::path& directory) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(directory), fs::directory_iterator()));
  }

  GatewaySetup setup;
};

TEST_F(IniEncodingTest, FilesWithAByteOrderMarkAreReadInTheirEncodingAndUsedInTheCodePage) {
  const fs::path incoming = useIncoming(kWritable);
  setup.encodeIni(withUtf8Mark);
  setup.deliver(message("", {{"a.txt", "1"}}));
  EXPECT_EQ(setup.runGateway(), 0);
  EXPECT_EQ(filesIn(incoming), 1u);
  EXPECT_EQ(setup.countRecords("INFO", "INI file read as UTF-8 with BOM"), 1);
  EXPECT_EQ(setup.countRecordsStartingWith("Code page: "), 1);

  setup.encodeIni(asUtf16LittleEndianWithMark);
  setup.deliver(message("", {{"b.txt", "2"}}));
  EXPECT_EQ(setup.runGateway(), 0);
  EXPECT_EQ(filesIn(incoming), 2u);
  EXPECT_EQ(setup.countRecords("INFO", "INI file read as UTF-16 LE with BOM"), 1);

  const auto check = setup.startGateway({"/check"});
  ASSERT_NE(check, nullptr);
  std::string printed;
  while (const auto line = check->readLine(60000)) printed += *line + "\n";
  EXPECT_EQ(check->wait(60000), 0) << printed;
  EXPECT_NE(printed.find("INI file read as UTF-16 LE with BOM\n"), std::string::npos) << printed;
}

// The notification of a missing directory carries its path into a service
// script as bytes of the code page (Windows-1251 on a Cyrillic system),
// which the script engine reads in UTF-8.
TEST_F(IniEncodingTest, ANotificationWithAPathInTheCodePageReachesTheService) {
  useIncoming(kWritable, false);
  setup.encodeIni(withUtf8Mark);
  EXPECT_EQ(setup.runGateway(), 13);
  EXPECT_EQ(setup.countRecordsStartingWith("Posted notification \"Trasvik can't continue - Directory "), 1);
  EXPECT_EQ(setup.countRecordsStartingWith("Can't get notification message"), 0);
}

TEST_F(IniEncodingTest, AValueTheCodePageCannotWriteStopsTheStartNamingItsKey) {
  if (!kWindows) GTEST_SKIP() << "texts are UTF-8 on POSIX systems: every value can be written";
  useIncoming(kNotWritable);
  setup.encodeIni(withUtf8Mark);
  EXPECT_EQ(setup.runGateway(), 13);
  EXPECT_EQ(setup.countRecords("FATAL", "Value of [main]:in can't be written in ANSI code page 1252: save the INI "
                                        "file in that code page or change the value"),
            1);
  EXPECT_EQ(setup.countRecordsStartingWith("State file"), 0);  // stopped before anything else
}

}  // namespace
}  // namespace gateway_testing
