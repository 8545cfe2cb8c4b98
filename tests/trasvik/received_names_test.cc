#include <gtest/gtest.h>

#include "platform/code_page.h"
#include "rule/attachment_files.h"
#include "rule/received_names.h"
#include "rule/rule.h"
#include "trasvik/message_info.h"

namespace gateway_testing {
namespace {

struct NamingRule : trasvik::Rule {
  unsigned send(unsigned count) override { return count; }
  int receive(Quillex::DravontMessage_s&, const trasvik::MessageInfo&) override { return 0; }
};

std::tm utcDate(int year, int month, int day) {
  std::tm date{};
  date.tm_year = year - 1900;
  date.tm_mon = month - 1;
  date.tm_mday = day;
  return date;
}

TEST(ReceivedNamesTest, DayNamesCountPerUtcDateAndPassTakenNames) {
  NamingRule rule;
  rule.day = utcDate(2024, 1, 30);
  rule.dayCounter = 7;
  const trasvik::NameTaken none = [](const std::string&) { return false; };
  const std::tm january31 = utcDate(2024, 1, 31);
  EXPECT_EQ(trasvik::dayName(rule, january31, "ABCD", ".xml", none), "240131-ABCD-00001.xml");
  EXPECT_EQ(trasvik::dayName(rule, january31, "ABCD", ".xml", none), "240131-ABCD-00002.xml");
  const trasvik::NameTaken third = [](const std::string& name) { return name == "240131-ABCD-00003.xml"; };
  EXPECT_EQ(trasvik::dayName(rule, january31, "ABCD", ".xml", third), "240131-ABCD-00004.xml");
  // The same day of another month is a new day.
  EXPECT_EQ(trasvik::dayName(rule, utcDate(2024, 2, 1), "ABCD", "", none), "240201-ABCD-00001");
  EXPECT_EQ(trasvik::dayName(rule, utcDate(2024, 3, 1), "ABCD", "", none), "240301-ABCD-00001");
}

TEST(ReceivedNamesTest, LongNamesAreShortenedKeepingShortExtensionsAndWholeCharacters) {
  using trasvik::kLongestReceivedName;
  using trasvik::safeAttachmentName;
  EXPECT_EQ(safeAttachmentName("dir/" + std::string(300, 'a') + ".txt"), std::string(196, 'a') + ".txt");
  // "\xD0\xB6" is one character: the cut never leaves half of it.
  std::string cyrillic;
  for (int i = 0; i < 150; ++i) cyrillic += "\xD0\xB6";
  EXPECT_EQ(safeAttachmentName(cyrillic + ".xml"), cyrillic.substr(0, 196) + ".xml");
  EXPECT_EQ(safeAttachmentName("x" + cyrillic + ".xml"), "x" + cyrillic.substr(0, 194) + ".xml");
  // An extension too long to keep is cut with the rest.
  const std::string longExtension = "a." + std::string(300, 'b');
  EXPECT_EQ(safeAttachmentName(longExtension), longExtension.substr(0, kLongestReceivedName));
  EXPECT_EQ(safeAttachmentName(std::string(kLongestReceivedName, 'c')), std::string(kLongestReceivedName, 'c'));
  // The sender's ticker in dated names is cut the same way.
  EXPECT_EQ(trasvik::tickerForName("EMAIL@" + std::string(100, 'T') + ".SVC"),
            std::string(trasvik::kLongestTickerInName, 'T'));
}

// In a deep incoming directory a name gives way as a long name does, so that
// the whole path, with " (99999)" and ".inf", stays within what the
// programs reading the directory can open (MAX_PATH on Windows).
TEST(ReceivedNamesTest, NamesGiveWayToDeepDirectoriesWithinThePathLimit) {
  using trasvik::longestReceivedNameIn;
  constexpr std::size_t kLimit = 259;
  constexpr std::size_t kReserve = sizeof(" (99999).inf") - 1;
  EXPECT_EQ(longestReceivedNameIn("C:\\in\\", kLimit), trasvik::kLongestReceivedName);
  const std::string deep = "C:\\" + std::string(200, 'd') + "\\";
  const std::size_t longest = longestReceivedNameIn(deep, kLimit);
  ASSERT_EQ(longest, kLimit - deep.size() - kReserve);
  const std::string name = trasvik::safeAttachmentName("report " + std::string(100, 'n') + ".pdf", longest);
  EXPECT_EQ(name, "report " + std::string(longest - 11, 'n') + ".pdf");
  EXPECT_EQ(deep.size() + name.size() + kReserve, kLimit);

  NamingRule rule;
  rule.longestName = longest;
  trasvik::AttachmentInfo attachment;
  attachment.fileName = std::string(100, 'a') + ".xml";
  const trasvik::NameTaken none = [](const std::string&) { return false; };
  const std::tm date = utcDate(2024, 1, 31);
  const std::string sender = "EMAIL@" + std::string(trasvik::kLongestTickerInName, 'T') + ".SVC";
  // (firm 1 takes the same datedName as firm 2, with a counter of the service's.)
  for (int firm : {0, 2}) {
    rule.firm = firm;
    EXPECT_LE(trasvik::receivedFileName(rule, sender, attachment, date, none).size(), longest) << firm;
  }
  // Too deep for even the shortest of the gateway's names.
  EXPECT_EQ(longestReceivedNameIn("C:\\" + std::string(kLimit - kReserve - 18, 'd') + "\\", kLimit), 0u);
}

// Names Windows cannot hold or would take for a device.
TEST(ReceivedNamesTest, WindowsSafeNamesAvoidDevicesReservedCharactersAndTrailingDots) {
  using trasvik::windowsSafeName;
  EXPECT_EQ(windowsSafeName("CON"), "_CON");
  EXPECT_EQ(windowsSafeName("nul.txt"), "_nul.txt");
  EXPECT_EQ(windowsSafeName("Com1.tar.gz"), "_Com1.tar.gz");
  EXPECT_EQ(windowsSafeName("lpt9 .log"), "_lpt9 .log");
  EXPECT_EQ(windowsSafeName("CONSOLE.txt"), "CONSOLE.txt");
  EXPECT_EQ(windowsSafeName("COM10"), "COM10");
  // COM and LPT with a superscript digit are devices too, in the code page's bytes.
  for (const char* utf8 : {"COM\xC2\xB9.txt", "lpt\xC2\xB3"}) {
    std::string name;
    ASSERT_TRUE(platform::ansiFromUtf8(utf8, name));
    EXPECT_EQ(windowsSafeName(name), "_" + name);
  }
  std::string four;
  ASSERT_TRUE(platform::ansiFromUtf8("COM\xC2\xB4", four));  // an acute accent is no digit
  EXPECT_EQ(windowsSafeName(four), four);
  EXPECT_EQ(windowsSafeName("a<b>c:d\"e|f?g*h.txt"), "a_b_c_d_e_f_g_h.txt");
  EXPECT_EQ(windowsSafeName("report.txt. . "), "report.txt");
  EXPECT_EQ(windowsSafeName("aux. "), "_aux");
  EXPECT_EQ(windowsSafeName(" ..."), "");
}

TEST(ReceivedNamesTest, DatedNamesGiveWayWithTheExtensionFirstThenTheTicker) {
  using trasvik::datedName;
  using trasvik::kLongestReceivedName;
  const std::tm date = utcDate(2024, 1, 31);
  const std::string ticker(trasvik::kLongestTickerInName, 'T');
  EXPECT_EQ(datedName(date, "ABCD", 7, ".xml"), "240131-ABCD-00007.xml");
  // The longest extension an attachment's name keeps, with the longest
  // ticker: the extension is cut, so " (k)" and ".inf" still fit.
  const std::string extension = "." + std::string(kLongestReceivedName - 2, 'e');
  EXPECT_EQ(datedName(date, ticker, 99999, extension),
            "240131-" + ticker + "-99999" + extension.substr(0, kLongestReceivedName - 77));
  // A ticker with no room left loses the extension, then is cut itself.
  const std::string cyrillic = [] {
    std::string text;
    for (int i = 0; i < 150; ++i) text += "\xD0\xB6";
    return text;
  }();
  EXPECT_EQ(datedName(date, "x" + cyrillic, 1, ".xml"), "240131-x" + cyrillic.substr(0, 186) + "-00001");

  NamingRule rule;
  rule.firm = 2;
  trasvik::AttachmentInfo attachment;
  attachment.fileName = "a" + extension;
  const trasvik::NameTaken none = [](const std::string&) { return false; };
  const std::string sender = "EMAIL@" + ticker + ".SVC";
  EXPECT_EQ(trasvik::receivedFileName(rule, sender, attachment, date, none).size(), kLongestReceivedName);
}

}  // namespace
}  // namespace gateway_testing
