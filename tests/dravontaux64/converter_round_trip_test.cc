// Detach and attach through the real library and provider, for both
// provider kinds (each alone on the loader path) and every signed form.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "converter_process.h"

namespace {

using cms_testing::SignedForm;
using converter_testing::argumentText;
using converter_testing::providerDirectory;
using converter_testing::runDriver;

class ConverterRoundTripTest : public converter_testing::ConverterTest,
                               public testing::WithParamInterface<std::tuple<const char*, SignedForm>> {};

TEST_P(ConverterRoundTripTest, DetachThenAttachGivesMessagesThatVerify) {
  const auto [provider, form] = GetParam();
  const std::string original = signedFile("signed", form, 300000);
  const std::string log = file("log.txt");
  const auto run = runDriver(
      {providerDirectory(provider)},
      {"detach", argumentText({log, "error", original, file("content"), file("signature")}), "attach",
       argumentText({log, "error", file("content"), file("signature"), file("attached")})});
  ASSERT_EQ(run.exitStatus, 0) << run.output;

  EXPECT_TRUE(cms_testing::filesEqual(file("content"), file("signed.content")));
  EXPECT_EQ(signer().verifyDetached(file("signature"), file("content")), "");
  EXPECT_EQ(signer().verifyAttached(file("attached"), file("recovered")), "");
  EXPECT_TRUE(cms_testing::filesEqual(file("recovered"), file("signed.content")));
  if (form == SignedForm::kDer) {
    EXPECT_TRUE(cms_testing::filesEqual(file("attached"), original)) << "a DER message must come back byte for byte";
  }
  EXPECT_TRUE(std::filesystem::exists(log));
  EXPECT_EQ(testing_support::readFile(log), "") << "a conversion that works logs nothing";
}

INSTANTIATE_TEST_SUITE_P(BothKindsAllForms, ConverterRoundTripTest,
                         testing::Combine(testing::Values("kind6", "kind5"),
                                          testing::Values(SignedForm::kDer, SignedForm::kStreamedBer,
                                                          SignedForm::kPem)),
                         [](const auto& info) {
                           const SignedForm form = std::get<1>(info.param);
                           return std::string(std::get<0>(info.param)) +
                                  (form == SignedForm::kDer ? "Der" : form == SignedForm::kPem ? "Pem" : "StreamedBer");
                         });

}  // namespace
