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

// Wine takes the ANSI code page from the locale: 1251 and 1252.
const std::vector<std::string> kCyrillicSystem{"LC_ALL=ru_RU.UTF-8"};
const std::vector<std::string> kEnglishSystem{"LC_ALL=en_US.UTF-8"};

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
  IniEncodingTest() {
    setup.useMainRule("FILE");
    fs::create_directory(incoming());
    setup.set("main", "in", setup.directory().path().string() + "/" + std::string(kIncoming) + "/");
  }
  fs::path incoming() const {
    return setup.directory().path() / fs::path(reinterpret_cast<const char8_t*>(kIncoming));
  }
  static std::size_t filesIn(const fs::path& directory) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(directory), fs::directory_iterator()));
  }

  static constexpr char kIncoming[] = "\xD0\x92\xD1\x85\xD0\xBE\xD0\xB4\xD1\x8F\xD1\x89\xD0\xB8\xD0\xB5";  // Входящие
  // The service too runs on the Cyrillic system: it reads the scripts the
  // gateway writes in that code page.
  GatewaySetup setup{true, kCyrillicSystem};
};

TEST_F(IniEncodingTest, FilesWithAByteOrderMarkAreReadInTheirEncodingAndUsedInTheCodePage) {
  setup.encodeIni(withUtf8Mark);
  setup.deliver(message("", {{"a.txt", "1"}}));
  EXPECT_EQ(setup.runGateway(nullptr, kCyrillicSystem), 0);
  EXPECT_EQ(filesIn(incoming()), 1u);
  EXPECT_EQ(setup.countRecords("INFO", "INI file read as UTF-8 with BOM"), 1);
  EXPECT_EQ(setup.countRecordsStartingWith("Code page: "), 1);

  setup.encodeIni(asUtf16LittleEndianWithMark);
  setup.deliver(message("", {{"b.txt", "2"}}));
  EXPECT_EQ(setup.runGateway(nullptr, kCyrillicSystem), 0);
  EXPECT_EQ(filesIn(incoming()), 2u);
  EXPECT_EQ(setup.countRecords("INFO", "INI file read as UTF-16 LE with BOM"), 1);

  const auto check = setup.startGateway({"/check"}, kCyrillicSystem);
  ASSERT_NE(check, nullptr);
  std::string printed;
  while (const auto line = check->readLine(60000)) printed += *line + "\n";
  EXPECT_EQ(check->wait(60000), 0) << printed;
  EXPECT_NE(printed.find("INI file read as UTF-16 LE with BOM\n"), std::string::npos) << printed;
}

// The notification of a missing directory carries its Cyrillic path into a
// service script, as bytes of the code page (on Windows, Windows-1251).
TEST_F(IniEncodingTest, ANotificationWithACyrillicPathReachesTheService) {
  setup.encodeIni(withUtf8Mark);
  fs::remove(incoming());
  EXPECT_EQ(setup.runGateway(nullptr, kCyrillicSystem), 13);
  EXPECT_EQ(setup.countRecordsStartingWith("Posted notification \"Trasvik can't continue - Directory "), 1);
  EXPECT_EQ(setup.countRecordsStartingWith("Can't get notification message"), 0);
}

TEST_F(IniEncodingTest, AValueTheCodePageCannotWriteStopsTheStartNamingItsKey) {
  if (!kWindows) GTEST_SKIP() << "texts are UTF-8 on POSIX systems: every value can be written";
  setup.encodeIni(withUtf8Mark);
  EXPECT_EQ(setup.runGateway(nullptr, kEnglishSystem), 13);
  EXPECT_EQ(setup.countRecords("FATAL", "Value of [main]:in can't be written in ANSI code page 1252: save the INI "
                                        "file in that code page or change the value"),
            1);
}

}  // namespace
}  // namespace gateway_testing
