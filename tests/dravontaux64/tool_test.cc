// dravont-aux, the command that runs the exports from a shell.
#include <gtest/gtest.h>

#include "converter_process.h"

namespace {

using cms_testing::SignedForm;
using converter_testing::argumentText;
using converter_testing::providerDirectory;
using converter_testing::runTool;

class DravontAuxToolTest : public converter_testing::ConverterTest {};

TEST_F(DravontAuxToolTest, ConvertsAndSaysWhereTheLogIs) {
  const std::string input = signedFile("signed", SignedForm::kPem);
  const auto run = runTool({providerDirectory("kind6")},
                           {"detach", argumentText({file("log.txt"), "error", input, file("content"), file("sig")})});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.output, "Converter log: " + file("log.txt") + "\n");
  EXPECT_TRUE(cms_testing::filesEqual(file("content"), file("signed.content")));
}

TEST_F(DravontAuxToolTest, ExitsZeroWhenTheConversionFails) {
  const auto run = runTool({}, {"attach", argumentText({file("log.txt"), "error", file("a"), file("b"), file("c")})});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_NE(testing_support::readFile(file("log.txt")).find("Can't load x64"), std::string::npos);
}

TEST_F(DravontAuxToolTest, SaysWhenTheArgumentTextIsIncomplete) {
  const auto run = runTool({providerDirectory("kind6")}, {"attach", "log.txt*error*a"});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_NE(run.output.find("nothing was done"), std::string::npos) << run.output;
}

TEST_F(DravontAuxToolTest, RejectsWrongUsage) {
  EXPECT_EQ(runTool({}, {"sign", "l*e*a*b*c"}).exitStatus, 2);
  EXPECT_EQ(runTool({}, {"attach"}).exitStatus, 2);
}

}  // namespace
