// Failures the converter reports in its log: a provider that cannot be
// loaded, lacks a function or cannot initialise, and provider operations
// that fail; and the time fraction of the records.
#include <gtest/gtest.h>

#include <regex>
#include <system_error>

#include "converter_process.h"

namespace {

using cms_testing::SignedForm;
using converter_testing::argumentText;
using converter_testing::providerDirectory;
using converter_testing::runDriver;
namespace fs = std::filesystem;

// The ending of a raised creation failure: ": " and the system's text for 0.
std::string creationEnding() { return ": " + std::system_category().message(0); }

class ConverterFailureTest : public converter_testing::ConverterTest {
 protected:
  // Runs one detach of a signed file with the given provider directories
  // and returns the log's records.
  std::vector<converter_testing::LogRecord> detachWith(const std::vector<std::string>& providers) {
    const std::string input = signedFile("signed", SignedForm::kDer);
    const auto run = runDriver(providers, {"detach", argumentText({file("log.txt"), "error", input, file("content"),
                                                                   file("signature")})});
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_FALSE(fs::exists(file("content")));
    return logRecords(file("log.txt"));
  }
};

TEST_F(ConverterFailureTest, NoProviderOnTheLoaderPath) {
  const auto records = detachWith({});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message, "Can't load x64 xpki1.dll or zpki1.dll" + creationEnding());
  EXPECT_EQ(records[0].fraction, 0) << "the first record of a process carries .000";
}

TEST_F(ConverterFailureTest, Kind6IsPreferredAndAMissingFunctionDoesNotFallBack) {
  const auto records = detachWith({providerDirectory("variants/kind6-without-VCERT_FreeMem"), providerDirectory("kind5")});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message, "Can't find VCERT_FreeMem function in crypto DLL" + creationEnding());
}

TEST_F(ConverterFailureTest, FailedInitialisationCarriesTheProviderErrorLines) {
  const auto records = detachWith({providerDirectory("variants/kind6-init-fails")});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(std::regex_match(records[0].message,
                               std::regex("Can't init minimal crypto context The crypto context cannot be initialised\n"
                                          "error details: this provider build refuses to initialise "
                                          "in file: vcert_exports\\.cc line: \\d+" +
                                          creationEnding())))
      << records[0].message;
}

TEST_F(ConverterFailureTest, AFailedCreationIsRetriedAndAppendsToTheLog) {
  const std::string input = signedFile("signed", SignedForm::kDer);
  const std::string text = argumentText({file("log.txt"), "error", input, file("content"), file("signature")});
  const auto run = runDriver({}, {"detach", text, "sleep", "1250", "detach", text});
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  const auto records = logRecords(file("log.txt"));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].fraction, 0);
  // 1250 ms later, counted from the first record, modulo 1000.
  EXPECT_GE(records[1].fraction, 250);
  EXPECT_LT(records[1].fraction, 450);
}

TEST_F(ConverterFailureTest, AttachFailureNamesTheProviderReason) {
  const std::string attached = signedFile("signed", SignedForm::kDer);
  const auto run = runDriver({providerDirectory("kind5")},
                             {"attach", argumentText({file("log.txt"), "error", file("signed.content"), attached,
                                                      file("out")})});
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  const auto records = logRecords(file("log.txt"));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(std::regex_match(records[0].message,
                               std::regex("Error attaching signature to large file The signature already carries content\n"
                                          "error details: the signature file carries content in file: \\w+\\.cc line: \\d+")))
      << records[0].message;
  EXPECT_FALSE(fs::exists(file("out")));
}

TEST_F(ConverterFailureTest, SigningInfoFailureNamesTheFile) {
  const std::string missing = file("missing.p7m");
  const auto run = runDriver({providerDirectory("kind6")},
                             {"detach", argumentText({file("log.txt"), "error", missing, file("a"), file("b")})});
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  const auto records = logRecords(file("log.txt"));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message.rfind("Error getting signing info for input file stream Cannot open the file\n"
                                     "error details: cannot open " + missing + ": ",
                                     0),
            0u)
      << records[0].message;
}

TEST_F(ConverterFailureTest, TruncatedMessageIsReportedAsMalformed) {
  const std::string input = signedFile("signed", SignedForm::kStreamedBer, 200000);
  const std::string bytes = testing_support::readFile(input);
  directory_.write("truncated", bytes.substr(0, bytes.size() / 2));
  const auto run = runDriver({providerDirectory("kind6")}, {"detach", argumentText({file("log.txt"), "error",
                                                                                    file("truncated"), file("a"),
                                                                                    file("b")})});
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  const auto records = logRecords(file("log.txt"));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message.rfind("Error getting signing info for input file stream The signed message is malformed\n"
                                     "error details: unexpected end of input",
                                     0),
            0u)
      << records[0].message;
}

TEST_F(ConverterFailureTest, DetachFailureLeavesNoPartialOutput) {
  const std::string input = signedFile("signed", SignedForm::kDer);
  const auto run = runDriver({providerDirectory("kind6")},
                             {"detach", argumentText({file("log.txt"), "error", input, file("content"),
                                                      file("no-such-directory/signature")})});
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  const auto records = logRecords(file("log.txt"));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message.rfind("Error detaching signature from large file Cannot open the file\n"
                                     "error details: cannot create " + file("no-such-directory/signature"),
                                     0),
            0u)
      << records[0].message;
  EXPECT_FALSE(fs::exists(file("content"))) << "the content output of a failed detach is removed";
}

TEST_F(ConverterFailureTest, DetachRefusesContentChangedAfterSigning) {
  std::string bytes = testing_support::readFile(signedFile("signed", SignedForm::kDer));
  const std::size_t inContent = bytes.find(testing_support::readFile(file("signed.content"))) + 5000;
  bytes[inContent] = static_cast<char>(bytes[inContent] ^ 0x01);
  directory_.write("altered", bytes);
  const auto run = runDriver({providerDirectory("kind6")}, {"detach", argumentText({file("log.txt"), "error",
                                                                                    file("altered"), file("content"),
                                                                                    file("sig")})});
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  const auto records = logRecords(file("log.txt"));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message.rfind("Error detaching signature from large file "
                                     "The signature does not verify over the content\n",
                                     0),
            0u)
      << records[0].message;
  EXPECT_FALSE(fs::exists(file("content")));
  EXPECT_FALSE(fs::exists(file("sig")));
}

struct MissingFunction {
  const char* variant;
  const char* function;
};

class MissingFunctionTest : public converter_testing::ConverterTest,
                            public testing::WithParamInterface<MissingFunction> {};

TEST_P(MissingFunctionTest, NamesTheFirstMissingFunction) {
  const std::string input = signedFile("signed", SignedForm::kDer);
  const auto run = runDriver({providerDirectory(std::string("variants/") + GetParam().variant)},
                             {"detach", argumentText({file("log.txt"), "error", input, file("content"), file("sig")})});
  ASSERT_EQ(run.exitStatus, 0) << run.output;
  const auto records = logRecords(file("log.txt"));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message,
            std::string("Can't find ") + GetParam().function + " function in crypto DLL" + creationEnding());
  EXPECT_FALSE(fs::exists(file("content")));
}

#define MISSING(kind, function) MissingFunction{"kind" #kind "-without-" #function, #function}
INSTANTIATE_TEST_SUITE_P(
    EveryFunction, MissingFunctionTest,
    testing::Values(MISSING(6, VCERT_InitMinimal), MISSING(6, VCERT_GetErrorText), MISSING(6, VCERT_GetErrorLineEx),
                    MISSING(6, VCERT_Uninitialize), MISSING(6, VCERT_CmsStrSignDetachFile),
                    MISSING(6, VCERT_CmsBlkSignAttachFile), MISSING(6, VCERT_CmsStrMsgInfFile),
                    MISSING(6, VCERT_CmsFreeMsgInf), MISSING(6, VCERT_FreeMem), MISSING(5, VCERT_DetachSignFile),
                    MISSING(5, VCERT_AttachSignFile), MISSING(5, VCERT_SignedInfoFile),
                    MISSING(5, VCERT_FreeSignedInfoResult)),
    [](const testing::TestParamInfo<MissingFunction>& info) { return std::string(info.param.function); });
#undef MISSING

}  // namespace
