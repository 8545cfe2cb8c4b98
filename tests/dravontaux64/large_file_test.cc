// A 256 MiB message converted in memory far below its size, with OpenSSL's
// own command verifying what comes out.
#include <gtest/gtest.h>

#include "converter_process.h"
#include "platform/child_process.h"

namespace {

using cms_testing::SignedForm;
using converter_testing::argumentText;
using converter_testing::providerDirectory;
using converter_testing::runDriver;

constexpr std::uint64_t kContentSize = 256ull << 20;
// Well under the file size: the buffers, the libraries and the sanitizers'
// own overhead, but never a copy of the content.
constexpr std::uint64_t kPeakLimitKib = 32u << 10;

// Runs `openssl cms -verify` with the arguments; true iff it succeeds.
bool opensslVerifies(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {"openssl", "cms", "-verify", "-binary", "-inform", "DER", "-out", "/dev/null"});
  std::string error;
  auto child = platform::ChildProcess::start(arguments, false, error);
  if (child == nullptr) {
    ADD_FAILURE() << error;
    return false;
  }
  return child->wait(120000) == 0;
}

class LargeFileTest : public converter_testing::ConverterTest {};

TEST_F(LargeFileTest, Detaches256MiBInBoundedMemoryAndOpenSslVerifiesTheResults) {
  const std::string input = signedFile("signed", SignedForm::kStreamedBer, kContentSize);
  const std::string log = file("log.txt");

  const auto detach = runDriver({providerDirectory("kind6")},
                                {"detach", argumentText({log, "error", input, file("content"), file("signature")})});
  ASSERT_EQ(detach.exitStatus, 0) << detach.output;
  EXPECT_GT(detach.peakKib, 0u);
  EXPECT_LT(detach.peakKib, kPeakLimitKib);
  RecordProperty("detach_peak_kib", std::to_string(detach.peakKib));
  std::printf("peak resident memory of the 256 MiB detach: %llu KiB\n",
              static_cast<unsigned long long>(detach.peakKib));
  EXPECT_TRUE(cms_testing::filesEqual(file("content"), file("signed.content")));
  EXPECT_TRUE(opensslVerifies({"-in", file("signature"), "-content", file("content"), "-CAfile",
                               signer().certificatePath()}));
  std::filesystem::remove(input);

  const auto attach = runDriver({providerDirectory("kind5")},
                                {"attach", argumentText({log, "error", file("content"), file("signature"), file("attached")})});
  ASSERT_EQ(attach.exitStatus, 0) << attach.output;
  EXPECT_LT(attach.peakKib, kPeakLimitKib);
  std::printf("peak resident memory of the 256 MiB attach: %llu KiB\n",
              static_cast<unsigned long long>(attach.peakKib));
  EXPECT_TRUE(opensslVerifies({"-in", file("attached"), "-CAfile", signer().certificatePath()}));
  EXPECT_EQ(testing_support::readFile(log), "");
}

}  // namespace
