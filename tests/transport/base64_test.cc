#include "transport/base64.h"

#include <gtest/gtest.h>

#include <random>

namespace Quillex {
namespace {

std::string encode(std::string_view bytes) {
  std::string out;
  appendBase64(out, bytes.data(), bytes.size());
  return out;
}

std::string decode(std::string_view text) {
  std::vector<char> out;
  decodeBase64(text, out);
  return std::string(out.begin(), out.end());
}

std::string randomBytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator());
  return bytes;
}

// Runs every case with each kernel tier; a tier the CPU lacks falls back to
// the next lower one.
class Base64Test : public ::testing::TestWithParam<Base64Kernels> {
 protected:
  void SetUp() override { limitBase64Kernels(GetParam()); }
  void TearDown() override { limitBase64Kernels(Base64Kernels::kAvx512); }
};

INSTANTIATE_TEST_SUITE_P(Kernels, Base64Test,
                         ::testing::Values(Base64Kernels::kPortable, Base64Kernels::kAvx2, Base64Kernels::kAvx512),
                         [](const auto& info) {
                           switch (info.param) {
                             case Base64Kernels::kPortable: return "Portable";
                             case Base64Kernels::kAvx2: return "Avx2";
                             case Base64Kernels::kAvx512: return "Avx512";
                           }
                           return "Unknown";
                         });

TEST_P(Base64Test, EncodesTheStandardAlphabetWithPadding) {
  EXPECT_EQ(encode(""), "");
  EXPECT_EQ(encode("f"), "Zg==");
  EXPECT_EQ(encode("fo"), "Zm8=");
  EXPECT_EQ(encode("foo"), "Zm9v");
  EXPECT_EQ(encode("foobar"), "Zm9vYmFy");
  EXPECT_EQ(encode("\xfb\xff\xbf"), "+/+/");
  std::string out = "<base64>";
  appendBase64(out, "fo", 2);
  EXPECT_EQ(out, "<base64>Zm8=");
}

TEST_P(Base64Test, BreaksLinesAfterEveryEighteenCompleteGroups) {
  const std::string line = encode(std::string(54, 'a'));
  ASSERT_EQ(line.size(), 73u);
  EXPECT_EQ(line.substr(0, 72).find_first_not_of("YWFh"), std::string::npos);
  EXPECT_EQ(line.back(), '\n');

  EXPECT_EQ(encode(std::string(55, 'a')), line + "YQ==");
  EXPECT_EQ(encode(std::string(56, 'a')), line + "YWE=");
  EXPECT_EQ(encode(std::string(53, 'a')).find('\n'), std::string::npos);
  EXPECT_EQ(encode(std::string(108, 'a')), line + line);

  for (std::size_t size : {0u, 1u, 53u, 54u, 55u, 107u, 108u, 1000u}) {
    EXPECT_EQ(encode(std::string(size, 'x')).size(), base64EncodedSize(size)) << size;
  }
}

TEST_P(Base64Test, RoundTripsEveryLengthAndLargeRandomData) {
  for (std::size_t size = 0; size < 400; ++size) {
    const std::string bytes = randomBytes(size, static_cast<unsigned>(size));
    ASSERT_EQ(decode(encode(bytes)), bytes) << size;
  }
  const std::string large = randomBytes((1 << 20) + 7, 42);
  EXPECT_EQ(decode(encode(large)), large);
}

TEST_P(Base64Test, KernelsProduceIdenticalText) {
  const std::string bytes = randomBytes(54 * 40 + 5, 7);
  const std::string text = encode(bytes);
  for (const Base64Kernels other : {Base64Kernels::kPortable, Base64Kernels::kAvx2, Base64Kernels::kAvx512}) {
    limitBase64Kernels(other);
    EXPECT_EQ(encode(bytes), text);
    EXPECT_EQ(decode(text), bytes);
  }
}

TEST_P(Base64Test, SkipsBytesOutsideTheAlphabet) {
  EXPECT_EQ(decode(" Zm\r\n9v\t*YmF\x80y!"), "foobar");
  EXPECT_EQ(decode("***"), "");

  // Other line layouts, and junk inside an otherwise clean line.
  const std::string bytes = randomBytes(54 * 6, 3);
  std::string crlf;
  const std::string plain = [&] {
    std::string text = encode(bytes);
    std::erase(text, '\n');
    return text;
  }();
  for (std::size_t i = 0; i < plain.size(); i += 76) crlf += plain.substr(i, 76) + "\r\n";
  EXPECT_EQ(decode(plain), bytes);
  EXPECT_EQ(decode(crlf), bytes);
  std::string dirty = encode(bytes);
  dirty.insert(73 + 30, "#");
  dirty.insert(3 * 73 + 71, " ");
  EXPECT_EQ(decode(dirty), bytes);
}

TEST_P(Base64Test, PaddingEndsDecoding) {
  EXPECT_EQ(decode("Zm9vZg==Zm9v"), "foof");    // "=" third: one byte, then stop
  EXPECT_EQ(decode("Zm9vZg=Zm9v"), "foof");     // without the second "="
  EXPECT_EQ(decode("Zm9vZg\n=\n=Zm9v"), "foof");
  EXPECT_EQ(decode("Zm9vZm8=Zm9v"), "foofo");   // "=" fourth: two bytes, then stop
  EXPECT_EQ(decode("Zm9v=Zm9v"), "foo");        // "=" first: nothing more
  EXPECT_EQ(decode("Zm9vZ=m9v"), "foo");        // "=" second: nothing more

  // "=" inside what would be a clean 72-character line.
  const std::string head = randomBytes(51, 5);
  const std::string text = encode(head) + "Zg==\n" + encode(randomBytes(54, 6));
  EXPECT_EQ(decode(text), head + "f");
}

TEST_P(Base64Test, TruncatedGroupsYieldNothing) {
  EXPECT_EQ(decode("Zm9vZ"), "foo");
  EXPECT_EQ(decode("Zm9vZm"), "foo");
  EXPECT_EQ(decode("Zm9vZm9"), "foo");  // three characters, no padding
  EXPECT_EQ(decode("Zm9vZm9 \n"), "foo");
  const std::string bytes = randomBytes(54 * 3, 9);
  const std::string text = encode(bytes);
  EXPECT_EQ(decode(std::string_view(text).substr(0, text.size() - 2)), bytes.substr(0, bytes.size() - 3));
}

}  // namespace
}  // namespace Quillex
