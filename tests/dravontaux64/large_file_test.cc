// A 256 MiB message converted in memory far below its size, with the test
// signer's own verification (not the provider's) checking what comes out.
#include <gtest/gtest.h>

#include "converter_process.h"

namespace {

using cms_testing::SignedForm;
using converter_testing::argumentText;
using converter_testing::providerDirectory;
using converter_testing::runDriver;

constexpr std::uint64_t kContentSize = 256ull << 20;
constexpr std::uint64_t kSmallContentSize = 1ull << 20;
// What the peak may grow by from the small message to the large one: the
// larger buffers of a faster pass, never a copy of the content. Measured
// against a small run of the same program, so that the runtime's and the
// sanitizers' own share (larger under Wine) does not count.
constexpr std::uint64_t kGrowthLimitKib = 16u << 10;

class LargeFileTest : public converter_testing::ConverterTest {
 protected:
  struct Peaks {
    std::uint64_t detachKib = 0;
    std::uint64_t attachKib = 0;
  };

  // Detaches a streamed message of `size` bytes and attaches the parts
  // again, checking each result with the test signer; the peaks of both.
  Peaks convert(const std::string& name, std::uint64_t size) {
    const std::string input = signedFile(name, SignedForm::kStreamedBer, size);
    const std::string log = file(name + ".log");
    const std::string content = file(name + ".detached"), signature = file(name + ".p7s");
    const auto detach =
        runDriver({providerDirectory("kind6")}, {"detach", argumentText({log, "error", input, content, signature})});
    EXPECT_EQ(detach.exitStatus, 0) << detach.output;
    EXPECT_TRUE(cms_testing::filesEqual(content, file(name + ".content")));
    EXPECT_EQ(signer().verifyDetached(signature, content), "");
    std::filesystem::remove(input);

    const std::string attached = file(name + ".attached"), recovered = file(name + ".recovered");
    const auto attach =
        runDriver({providerDirectory("kind5")}, {"attach", argumentText({log, "error", content, signature, attached})});
    EXPECT_EQ(attach.exitStatus, 0) << attach.output;
    EXPECT_EQ(signer().verifyAttached(attached, recovered), "");
    EXPECT_TRUE(cms_testing::filesEqual(recovered, content));
    EXPECT_EQ(testing_support::readFile(log), "");
    for (const std::string& path : {content, signature, attached, recovered}) std::filesystem::remove(path);
    return {detach.peakKib, attach.peakKib};
  }
};

TEST_F(LargeFileTest, Converts256MiBInMemoryThatDoesNotGrowWithTheSizeAndTheResultsVerify) {
  const Peaks small = convert("small", kSmallContentSize);
  const Peaks large = convert("large", kContentSize);
  ASSERT_GT(small.detachKib, 0u);
  std::printf("peak resident memory, 1 MiB and 256 MiB: detach %llu and %llu KiB, attach %llu and %llu KiB\n",
              static_cast<unsigned long long>(small.detachKib), static_cast<unsigned long long>(large.detachKib),
              static_cast<unsigned long long>(small.attachKib), static_cast<unsigned long long>(large.attachKib));
  RecordProperty("detach_peak_kib", std::to_string(large.detachKib));
  EXPECT_LT(large.detachKib, small.detachKib + kGrowthLimitKib);
  EXPECT_LT(large.attachKib, small.attachKib + kGrowthLimitKib);
}

}  // namespace
