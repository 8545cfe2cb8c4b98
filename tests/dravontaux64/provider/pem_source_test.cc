// Decoding of PEM text to the bytes of the message inside.
#include <gtest/gtest.h>

#include "byte_source.h"
#include "memory_source.h"
#include "provider_failure.h"
#include "support/cms_fixture.h"

namespace {

using provider_testing::failureOf;
using provider_testing::MemorySource;

std::string pemOf(const std::string& bytes, std::size_t lineLength, const char* lineEnd) {
  const std::string base64 = cms_testing::base64(bytes);
  std::string text = std::string("\r\n-----BEGIN CMS-----") + lineEnd;
  for (std::size_t i = 0; i < base64.size(); i += lineLength) text += base64.substr(i, lineLength) + lineEnd;
  return text + "-----END CMS-----" + lineEnd;
}

std::string decodeAll(const std::string& text, std::size_t piece, std::size_t capacity) {
  MemorySource raw(text, piece);
  vcert::PemSource pem(raw);
  std::string decoded;
  std::uint8_t buffer[16];
  for (std::size_t got; (got = pem.read(buffer, std::min(capacity, sizeof buffer))) > 0;) {
    decoded.append(reinterpret_cast<const char*>(buffer), got);
  }
  return decoded;
}

TEST(PemSourceTest, DecodesEveryPaddingAndLineLayout) {
  std::string bytes;
  for (int length = 0; length < 70; ++length) {
    EXPECT_EQ(decodeAll(pemOf(bytes, 64, "\n"), 1 << 20, 16), bytes) << length;
    EXPECT_EQ(decodeAll(pemOf(bytes, 5, "\r\n"), 3, 1), bytes) << length;
    bytes += static_cast<char>(length * 37 + 11);
  }
}

TEST(PemSourceTest, RejectsBrokenText) {
  const std::string good = pemOf("some message bytes", 64, "\n");
  for (const std::string& broken : {good.substr(0, good.size() - 20), std::string("garbage\n") + good,
                                   std::string("-----BEGIN CMS-----\nAB*D\n-----END CMS-----\n"),
                                   std::string("-----BEGIN CMS-----\nQUJD=QUJD\n-----END CMS-----\n"),
                                   std::string("-----BEGIN CMS-----\nQUJDR\n-----END CMS-----\n")}) {
    EXPECT_EQ(failureOf([&] { decodeAll(broken, 7, 16); }), vcert::ErrorKind::kMalformed) << broken;
  }
}

}  // namespace
