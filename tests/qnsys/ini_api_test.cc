// The INI operations through the C interface, against real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "qnsys/qnsys.h"
#include "support/temp_directory.h"

namespace {

namespace fs = std::filesystem;

class IniApiTest : public testing::Test {
 protected:
  void TearDown() override { QnIniClose(); }

  // Writes and opens an INI file; fails the test when it does not open.
  void openIni(const std::string& contents) {
    const std::string path = directory_.write("app.ini", contents);
    ASSERT_EQ(QnIniOpen(path.c_str()), 0u);
  }

  std::string getStr(const char* section, const char* key, const char* defaultValue, unsigned int size = 256) {
    std::vector<char> buffer(size + 1, '#');
    const unsigned int copied = QnIniCustGetStr(-1, buffer.data(), size, section, key, defaultValue);
    EXPECT_EQ(copied, std::string(buffer.data()).size());
    EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
    return buffer.data();
  }

  testing_support::TempDirectory directory_;
};

TEST_F(IniApiTest, OpenReportsEachCauseWithItsOwnCode) {
  EXPECT_EQ(QnIniOpen(nullptr), QNERROR_INVALID_ARGUMENT);
  EXPECT_EQ(QnIniOpen(""), QNERROR_INVALID_ARGUMENT);
  EXPECT_EQ(QnIniOpen(directory_.file("missing.ini").c_str()), QNERROR_FILE_NOT_FOUND);
  EXPECT_EQ(QnIniOpen(directory_.path().string().c_str()), QNERROR_IS_DIRECTORY);
  EXPECT_EQ(QnIniOpen(testing_support::kNullDevice), QNERROR_NOT_REGULAR_FILE);
}

TEST_F(IniApiTest, OpenReportsAnUnreadableFile) {
  const std::string locked = directory_.write("locked.ini", "[a]\nb=1\n");
  fs::permissions(locked, fs::perms::none);
  if (std::ifstream(locked).good()) GTEST_SKIP() << "running with rights that read any file";
  EXPECT_EQ(QnIniOpen(locked.c_str()), QNERROR_ACCESS_DENIED);
}

// Notepad saves UTF-8 with a mark, or UTF-16: read in that encoding, never
// as garbage; a text that is not what its mark says is refused.
TEST_F(IniApiTest, ReadsTheEncodingItsByteOrderMarkDeclaresAndRefusesUnreadableText) {
  const std::string utf16 = std::string("\xFF\xFE[\0s\0]\0\n\0k\0=\0\x16\x04\0\xD8\x00\xDC", 20);
  openIni(utf16);
  EXPECT_EQ(QnIniGetEncoding(-1), QNSYS_INI_UTF16LE);
  // Texts are UTF-8 on POSIX systems; U+0416 and U+10000 are no letters of an
  // ANSI code page but 65001.
  int refused = 0;
  const auto count = [](int, const char*, const char*, void* counter) {
    ++*static_cast<int*>(counter);
    return 0;
  };
  QnIniCustEnumRefused(-1, count, &refused);
  if (refused == 0) {
    EXPECT_EQ(getStr("s", "k", ""), "\xD0\x96\xF0\x90\x80\x80");
  }
  for (const std::string& unreadable : {std::string("\xEF\xBB\xBF[s]\nk=\xC0\x80"), std::string("\xFF\xFE[\0s", 5),
                                        std::string("[\0s\0]\0", 6), std::string("\xFF\xFE\0\0[\0\0\0", 8)}) {
    const std::string path = directory_.write("bad.ini", unreadable);
    EXPECT_EQ(QnIniOpen(path.c_str()), QNERROR_BAD_ENCODING) << unreadable.size();
    EXPECT_EQ(QnIniGetEncoding(-1), -1);
  }
}

TEST_F(IniApiTest, FailedOpenClosesThePreviousFile) {
  openIni("[a]\nb=1\n");
  EXPECT_EQ(QnIniOpen(directory_.file("missing.ini").c_str()), QNERROR_FILE_NOT_FOUND);
  EXPECT_EQ(QnIniCustGetInt(-1, "a", "b", -9), -9);
  char buffer[16];
  unsigned int size = sizeof buffer;
  EXPECT_EQ(QnIniGetFileName(-1, buffer, &size), QNERROR_NOT_OPEN);
}

TEST_F(IniApiTest, KeepsTheFileAsReadAtOpen) {
  openIni("[a]\nb=1\n");
  directory_.write("app.ini", "[a]\nb=2\n");
  EXPECT_EQ(QnIniCustGetInt(-1, "a", "b", 0), 1);
}

TEST_F(IniApiTest, GetFileNameGivesTheAbsoluteCanonicalPath) {
  fs::create_directory(directory_.path() / "sub");
  directory_.write("app.ini", "[a]\n");
  const fs::path previous = fs::current_path();
  fs::current_path(directory_.path() / "sub");
  const unsigned int opened = QnIniOpen("./../sub/../app.ini");
  fs::current_path(previous);
  ASSERT_EQ(opened, 0u);

  const std::string expected = (directory_.path() / "app.ini").lexically_normal().string();
  char buffer[4096];
  unsigned int size = sizeof buffer;
  ASSERT_EQ(QnIniGetFileName(-1, buffer, &size), 0u);
  EXPECT_EQ(std::string(buffer), expected);
  EXPECT_EQ(size, expected.size());
}

TEST_F(IniApiTest, GetFileNameRefusesSmallBuffersAndOtherHandles) {
  openIni("[a]\n");
  const std::string path = directory_.file("app.ini");

  char buffer[4096];
  unsigned int size = static_cast<unsigned int>(path.size());  // no room for the NUL
  EXPECT_EQ(QnIniGetFileName(-1, buffer, &size), QNERROR_BUFFER_TOO_SMALL);
  EXPECT_EQ(size, path.size() + 1);
  EXPECT_EQ(buffer[0], '\0');

  size = sizeof buffer;
  EXPECT_EQ(QnIniGetFileName(0, buffer, &size), QNERROR_INVALID_HANDLE);
  EXPECT_EQ(QnIniGetFileName(-1, buffer, nullptr), QNERROR_INVALID_ARGUMENT);
}

TEST_F(IniApiTest, GetIntUsesTheDefaultForAbsentKeysAndValuesWithoutANumber) {
  openIni("[n]\nhex=0x1F\nmixed=12abc\nzero=0\nword=Signed\nempty=\nsign=-\nprefix=0x\n");
  EXPECT_EQ(QnIniCustGetInt(-1, "N", "HEX", 0), 31);
  EXPECT_EQ(QnIniCustGetInt(-1, "n", "mixed", 0), 12);
  EXPECT_EQ(QnIniCustGetInt(-1, "n", "zero", -666), 0);
  EXPECT_EQ(QnIniCustGetInt(-1, "n", "word", -666), -666);
  EXPECT_EQ(QnIniCustGetInt(-1, "n", "empty", -666), -666);
  EXPECT_EQ(QnIniCustGetInt(-1, "n", "sign", -666), -666);
  EXPECT_EQ(QnIniCustGetInt(-1, "n", "prefix", -666), -666);
  EXPECT_EQ(QnIniCustGetInt(-1, "n", "absent", 99), 99);
  EXPECT_EQ(QnIniCustGetInt(-1, nullptr, "hex", 99), 99);
  EXPECT_EQ(QnIniCustGetInt(3, "n", "hex", 99), 99);
}

TEST_F(IniApiTest, GetStrCopiesValueOrDefaultAndCutsToTheBuffer) {
  openIni("[s]\nname=  \"Ivanov\" \xD0\xD3\xD1  \nempty=\n");
  EXPECT_EQ(getStr("s", "name", "x"), "\"Ivanov\" \xD0\xD3\xD1");
  EXPECT_EQ(getStr("s", "empty", "x"), "");
  EXPECT_EQ(getStr("s", "absent", "fallback"), "fallback");
  EXPECT_EQ(getStr("s", "absent", nullptr), "");
  EXPECT_EQ(getStr("s", "name", "x", 4), "\"Iv");
  EXPECT_EQ(getStr("s", "absent", "fallback", 5), "fall");
  EXPECT_EQ(getStr("s", "name", "x", 1), "");

  char untouched = '#';
  EXPECT_EQ(QnIniCustGetStr(-1, &untouched, 0, "s", "name", "x"), 0u);
  EXPECT_EQ(untouched, '#');
}

TEST_F(IniApiTest, EnumKeysVisitsInFileOrderAndStopsOnNonZero) {
  openIni("[Rules]\nfirst=1\nsecond=2\nthird=3\n");
  using Visited = std::vector<std::pair<std::string, std::string>>;
  struct Walk {
    Visited visited;
    std::size_t stopAfter = 0;
  };
  const auto callback = [](int ini, const char* key, const char* value, void* context) -> int {
    auto& walk = *static_cast<Walk*>(context);
    EXPECT_EQ(ini, -1);
    walk.visited.emplace_back(key, value);
    return walk.visited.size() == walk.stopAfter ? 42 : 0;
  };

  Walk all;
  EXPECT_EQ(QnIniCustEnumKeys(-1, "rules", callback, &all), 0);
  EXPECT_EQ(all.visited, (Visited{{"first", "1"}, {"second", "2"}, {"third", "3"}}));

  Walk stopped;
  stopped.stopAfter = 2;
  EXPECT_EQ(QnIniCustEnumKeys(-1, "rules", callback, &stopped), 42);
  EXPECT_EQ(stopped.visited.size(), 2u);

  Walk none;
  EXPECT_EQ(QnIniCustEnumKeys(-1, "absent", callback, &none), 0);
  EXPECT_TRUE(none.visited.empty());
}

TEST_F(IniApiTest, EnumKeysCallbackMayCloseTheFile) {
  openIni("[r]\na=1\nb=2\n");
  std::vector<std::string> values;
  const auto callback = [](int, const char*, const char* value, void* context) -> int {
    static_cast<std::vector<std::string>*>(context)->push_back(value);
    QnIniClose();  // the walk goes on over the file it started with
    return 0;
  };
  EXPECT_EQ(QnIniCustEnumKeys(-1, "r", callback, &values), 0);
  EXPECT_EQ(values, (std::vector<std::string>{"1", "2"}));
}

}  // namespace
