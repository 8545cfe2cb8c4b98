// What /check reads in the INI file's text: the host library's reading
// (the first of two equal names is in force) and the names it knows.
#include <gtest/gtest.h>

#include "trasvik/ini_lint.h"

namespace trasvik {
namespace {

TEST(IniLintTest, RepeatsUnknownNamesAndMissingSectionsAreFoundByLineAsTheHostLibraryReadsThem) {
  const std::vector<std::string> findings = lintIniText(
      "\xEF\xBB\xBF"
      "orphan=1\r\n"
      "[Trasvik]\r\n"
      "SendParam = send\n"
      "sendparam=other\n"
      "  ; a comment\n"
      "[rules]\n"
      "main=main\n"
      "rule7=seven\n"
      "mian=main\n"
      "[main]\n"
      "in=/tmp/in/\n"
      "adress=x\n"
      "[SEND]\n"
      "anything=passes on to the service\n"
      "[trasvik]\n"
      "sleeptme=5\n"
      "[mains]\n");
  EXPECT_EQ(findings, (std::vector<std::string>{
                          "line 1: key orphan before the first section: ignored",
                          "line 4: [Trasvik]:sendparam given again: the value of line 3 is in force",
                          "line 8: the rule's section [seven] is not in the file",
                          "line 9: unknown key [rules]:mian: did you mean main?",
                          "line 12: unknown key [main]:adress: did you mean address?",
                          "line 15: section [trasvik] given again: the keys below are ignored, those of line 2 "
                          "are in force",
                          "line 17: section [mains] is not used by the gateway: did you mean main?",
                      }));
  EXPECT_EQ(nearestName("SLEEPTME", {"ncollect", "sleeptime"}), "sleeptime");
  EXPECT_EQ(nearestName("out", {"in", "sent"}), "");
}

}  // namespace
}  // namespace trasvik
