#include "qnsys/ini_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace qnsys {
namespace {

std::string valueOf(const IniFile& ini, const char* section, const char* key) {
  const std::string* value = ini.find(section, key);
  return value != nullptr ? *value : "<absent>";
}

std::vector<std::string> keysOf(const IniFile& ini, const char* section) {
  std::vector<std::string> keys;
  if (const auto* entries = ini.entries(section)) {
    for (const IniEntry& entry : *entries) keys.push_back(entry.key + "=" + entry.value);
  }
  return keys;
}

TEST(IniFileTest, NamesCompareCaseInsensitively) {
  const IniFile ini = IniFile::parse("[Gateway]\nLogPath=/var/log\n");
  EXPECT_EQ(valueOf(ini, "gateway", "logpath"), "/var/log");
  EXPECT_EQ(valueOf(ini, "GATEWAY", "LOGPATH"), "/var/log");
  EXPECT_EQ(valueOf(ini, "gateways", "logpath"), "<absent>");
}

TEST(IniFileTest, FirstKeyAndFirstSectionWin) {
  const IniFile ini = IniFile::parse(
      "[a]\nkey=first\nKEY=second\n"
      "[b]\nx=1\n"
      "[A]\nkey=third\nonlyInRepeat=yes\n");
  EXPECT_EQ(valueOf(ini, "a", "key"), "first");
  // The repeated section's body is ignored, also its new keys.
  EXPECT_EQ(valueOf(ini, "a", "onlyInRepeat"), "<absent>");
  EXPECT_EQ(keysOf(ini, "a"), (std::vector<std::string>{"key=first"}));
  EXPECT_EQ(valueOf(ini, "b", "x"), "1");
}

TEST(IniFileTest, SkipsCommentsUnusableLinesAndKeysBeforeTheFirstSection) {
  const IniFile ini = IniFile::parse(
      "orphan=1\n"
      "[s]\n"
      "; semicolon=1\n"
      "   # hash=1\n"
      "no equals sign here\n"
      "=no key\n"
      "kept=2 ; not a comment\n");
  EXPECT_EQ(valueOf(ini, "s", "orphan"), "<absent>");
  EXPECT_EQ(keysOf(ini, "s"), (std::vector<std::string>{"kept=2 ; not a comment"}));
}

TEST(IniFileTest, TrimsBlanksButKeepsValueBytes) {
  const IniFile ini = IniFile::parse(
      "  [ Names ]  \n"
      " \t key one \t=  \"quoted\\n value\"  \n"
      "cyrillic=\xCF\xF0\xE8\xE2\xE5\xF2\n"
      "empty=\n");
  EXPECT_EQ(valueOf(ini, "names", "key one"), "\"quoted\\n value\"");
  EXPECT_EQ(valueOf(ini, "names", "cyrillic"), "\xCF\xF0\xE8\xE2\xE5\xF2");
  EXPECT_EQ(valueOf(ini, "names", "empty"), "");
}

TEST(IniFileTest, HandlesCrLfByteOrderMarkAndMissingLastLineEnd) {
  const IniFile ini = IniFile::parse("\xEF\xBB\xBF[first]\r\na=1\r\nb = 2 \r\n[second]\r\nc=3");
  EXPECT_EQ(valueOf(ini, "first", "a"), "1");
  EXPECT_EQ(valueOf(ini, "first", "b"), "2");
  EXPECT_EQ(valueOf(ini, "second", "c"), "3");
}

TEST(IniFileTest, ListsKeysInFileOrder) {
  const IniFile ini = IniFile::parse("[rules]\nzeta=1\nalpha=2\nmid=3\n[other]\nq=4\n");
  EXPECT_EQ(keysOf(ini, "RULES"), (std::vector<std::string>{"zeta=1", "alpha=2", "mid=3"}));
  EXPECT_EQ(ini.entries("missing"), nullptr);
}

TEST(ParseProfileIntTest, ReadsDecimalHexAndSigns) {
  EXPECT_EQ(parseProfileInt("42"), 42);
  EXPECT_EQ(parseProfileInt("-5"), -5);
  EXPECT_EQ(parseProfileInt("+7"), 7);
  EXPECT_EQ(parseProfileInt("0x1F"), 31);
  EXPECT_EQ(parseProfileInt("0X1f"), 31);
  EXPECT_EQ(parseProfileInt("-0x10"), -16);
  EXPECT_EQ(parseProfileInt("  12"), 12);
}

TEST(ParseProfileIntTest, StopsAtTheFirstForeignByte) {
  EXPECT_EQ(parseProfileInt("12abc"), 12);
  EXPECT_EQ(parseProfileInt("abc"), 0);
  EXPECT_EQ(parseProfileInt(""), 0);
  EXPECT_EQ(parseProfileInt("-"), 0);
  EXPECT_EQ(parseProfileInt("0x"), 0);
  EXPECT_EQ(parseProfileInt("0x1G"), 1);
}

TEST(ParseProfileIntTest, NoNumberGivesTheCallersValue) {
  EXPECT_EQ(parseProfileInt("Signed", -666), -666);
  EXPECT_EQ(parseProfileInt(" \t", -666), -666);
  EXPECT_EQ(parseProfileInt("+", -666), -666);
  EXPECT_EQ(parseProfileInt("- 5", -666), -666);
  EXPECT_EQ(parseProfileInt("0xG", -666), -666);
  EXPECT_EQ(parseProfileInt("-0", -666), 0);
  EXPECT_EQ(parseProfileInt(" 7 days", -666), 7);
  EXPECT_EQ(parseProfileInt("0x0", -666), 0);
}

TEST(ParseProfileIntTest, OverflowSaturatesDecimalAndWrapsHex) {
  EXPECT_EQ(parseProfileInt("2147483647"), INT_MAX);
  EXPECT_EQ(parseProfileInt("2147483648"), INT_MAX);
  EXPECT_EQ(parseProfileInt("99999999999999999999999"), INT_MAX);
  EXPECT_EQ(parseProfileInt("-2147483648"), INT_MIN);
  EXPECT_EQ(parseProfileInt("-99999999999999999999999"), INT_MIN);
  EXPECT_EQ(parseProfileInt("0xFFFFFFFF"), -1);
  EXPECT_EQ(parseProfileInt("0x80000000"), INT_MIN);
  EXPECT_EQ(parseProfileInt("0x1FFFFFFFF"), -1);
}

}  // namespace
}  // namespace qnsys
