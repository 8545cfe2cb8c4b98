// Splitting of the exports' argument text.
#include "dravontaux64/argument_text.h"

#include <gtest/gtest.h>

namespace {

using dravontaux64::splitArgumentText;
using Fields = std::vector<std::string>;

TEST(ArgumentTextTest, SplitsFiveFields) {
  EXPECT_EQ(splitArgumentText("log.txt*error*a*b*c"), (Fields{"log.txt", "error", "a", "b", "c"}));
}

TEST(ArgumentTextTest, DropsEmptyFieldsBeforeASeparator) {
  EXPECT_EQ(splitArgumentText("log.txt**error*a*b*c"), (Fields{"log.txt", "error", "a", "b", "c"}));
  EXPECT_EQ(splitArgumentText("*log.txt*error***a*b*c"), (Fields{"log.txt", "error", "a", "b", "c"}));
}

TEST(ArgumentTextTest, KeepsTheLastFieldEvenWhenEmpty) {
  EXPECT_EQ(splitArgumentText("log.txt*error*a*b*"), (Fields{"log.txt", "error", "a", "b", ""}));
  EXPECT_EQ(splitArgumentText("**"), (Fields{""}));
  EXPECT_EQ(splitArgumentText(""), (Fields{""}));
}

TEST(ArgumentTextTest, KeepsFurtherFieldsAndTextWithoutSeparators) {
  EXPECT_EQ(splitArgumentText("l*e*a*b*c*d").size(), 6u);
  EXPECT_EQ(splitArgumentText("a path with blanks"), (Fields{"a path with blanks"}));
}

TEST(ArgumentTextTest, NullTextHasNoFields) { EXPECT_TRUE(splitArgumentText(nullptr).empty()); }

}  // namespace
