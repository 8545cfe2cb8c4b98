// What a call does with its argument text, and what the converter keeps
// from the first call for the later ones.
#include <gtest/gtest.h>

#include "converter_process.h"

namespace {

using cms_testing::SignedForm;
using converter_testing::argumentText;
using converter_testing::providerDirectory;
using converter_testing::runDriver;
namespace fs = std::filesystem;

class ConverterCallTest : public converter_testing::ConverterTest {};

TEST_F(ConverterCallTest, FewerThanFiveFieldsDoNothingAtAll) {
  const std::string input = signedFile("signed", SignedForm::kDer);
  const auto run = runDriver({providerDirectory("kind6")},
                             {"detach", argumentText({file("log.txt"), "error", input, file("content")}), "detach",
                              file("log.txt") + "*error*" + input + "**" + file("content")});
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  EXPECT_FALSE(fs::exists(file("log.txt"))) << "not even the log is opened";
  EXPECT_FALSE(fs::exists(file("content")));
}

TEST_F(ConverterCallTest, DoubledSeparatorsAndFurtherFieldsStillGiveFiveFields) {
  const std::string input = signedFile("signed", SignedForm::kDer);
  const auto run = runDriver({providerDirectory("kind6")},
                             {"detach", file("log.txt") + "**error*" + input + "**" + file("content") + "*" +
                                            file("signature") + "*ignored*fields"});
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  EXPECT_TRUE(cms_testing::filesEqual(file("content"), file("signed.content")));
  EXPECT_EQ(signer().verifyDetached(file("signature"), file("content")), "");
}

TEST_F(ConverterCallTest, ALaterCallKeepsWritingToTheFirstLog) {
  const std::string input = signedFile("signed", SignedForm::kDer);
  const auto run = runDriver(
      {providerDirectory("kind6")},
      {"detach", argumentText({file("first.log"), "error", input, file("content"), file("signature")}), "attach",
       argumentText({file("second.log"), "debug", file("content"), file("missing-signature"), file("out")})});
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  const auto records = logRecords(file("first.log"));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message.rfind("Error attaching signature to large file Cannot open the file", 0), 0u)
      << records[0].message;
  EXPECT_FALSE(fs::exists(file("second.log")));
}

TEST_F(ConverterCallTest, ANullArgumentTextIsIgnored) {
  const std::string input = signedFile("signed", SignedForm::kDer);
  const auto run = runDriver({providerDirectory("kind6")},
                             {"attach-null", "detach",
                              argumentText({file("log.txt"), "error", input, file("content"), file("signature")})});
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  EXPECT_TRUE(cms_testing::filesEqual(file("content"), file("signed.content")));
}

TEST_F(ConverterCallTest, ALogThatCannotBeOpenedDoesNotStopTheConversion) {
  const std::string input = signedFile("signed", SignedForm::kStreamedBer);
  const std::string log = file("no-such-directory/log.txt");
  const auto run = runDriver(
      {providerDirectory("kind6")},
      {"detach", argumentText({log, "error", input, file("content"), file("signature")}), "attach",
       argumentText({log, "error", file("content"), file("no-signature"), file("attached")})});
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  EXPECT_TRUE(cms_testing::filesEqual(file("content"), file("signed.content")));
  EXPECT_FALSE(fs::exists(log));
}

class NothingToDetachTest : public converter_testing::ConverterTest,
                            public testing::WithParamInterface<const char*> {
 protected:
  // Runs DetachSignature on `input`; the file must stay as it was, and no
  // output and no record may appear.
  void expectUntouched(const std::string& input) {
    const std::string before = testing_support::readFile(input);
    const auto run = runDriver({providerDirectory(GetParam())},
                               {"detach", argumentText({file("log.txt"), "error", input, file("out1"), file("out2")})});
    ASSERT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_EQ(testing_support::readFile(input), before);
    EXPECT_FALSE(fs::exists(file("out1")));
    EXPECT_FALSE(fs::exists(file("out2")));
    EXPECT_EQ(testing_support::readFile(file("log.txt")), "");
  }
};

TEST_P(NothingToDetachTest, AnAlreadyDetachedSignatureIsLeftAlone) {
  expectUntouched(signedFile("signature", SignedForm::kDetachedDer));
}

TEST_P(NothingToDetachTest, AFileThatIsNoSignedMessageIsLeftAlone) {
  ASSERT_TRUE(cms_testing::writePatternFile(file("plain.bin"), 5000));
  expectUntouched(file("plain.bin"));
  expectUntouched(signer().certificatePath());
}

INSTANTIATE_TEST_SUITE_P(BothKinds, NothingToDetachTest, testing::Values("kind6", "kind5"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
