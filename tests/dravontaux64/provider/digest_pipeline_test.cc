// Digesting on the pipeline's thread gives what digesting in place gives.
#include "digest_pipeline.h"

#include <gtest/gtest.h>

#include "platform/thread_start.h"

namespace {

const std::string kSha256 = "2.16.840.1.101.3.4.2.1";

TEST(DigestPipelineTest, DigestsEveryPieceInOrderWithOrWithoutAThread) {
  std::string content(5 * (1 << 20) + 12345, '\0');  // more than all its buffers together
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>((i * 2654435761u) >> 13);
  vcert::ContentDigests direct({kSha256});
  direct.update(reinterpret_cast<const std::uint8_t*>(content.data()), content.size());

  for (const bool threadStarts : {true, false}) {
    if (!threadStarts) platform::failNextThreadStarts(1);
    vcert::ContentDigests digests({kSha256});
    {
      vcert::DigestPipeline pipeline(digests);
      std::size_t at = 0;
      for (std::size_t piece = 1; at < content.size(); piece = piece * 3 + 1) {
        const std::size_t size = std::min(piece % 700001, content.size() - at);
        pipeline.update(reinterpret_cast<const std::uint8_t*>(content.data()) + at, size);
        at += size;
      }
      pipeline.finish();
    }
    EXPECT_EQ(digests.digest(kSha256), direct.digest(kSha256)) << "thread started: " << threadStarts;
  }
  EXPECT_EQ(direct.digest(kSha256).size(), 32u);
}

}  // namespace
