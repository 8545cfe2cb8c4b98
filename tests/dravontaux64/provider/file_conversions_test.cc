// The provider's file operations on the messages signers write and on the
// broken, foreign and hostile ones they must refuse.
#include "file_conversions.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "der_encoding.h"
#include "memory_source.h"
#include "provider_failure.h"
#include "signed_data_framing.h"
#include "support/cms_fixture.h"
#include "support/temp_directory.h"

namespace {

using cms_testing::SignedForm;
using provider_testing::failureOf;
using vcert::ErrorKind;
namespace fs = std::filesystem;

class SkipContent : public vcert::ContentSink {
 public:
  void take(vcert::BerReader& reader, std::uint64_t length) override { reader.skip(length); }
};

class FileConversionsTest : public testing::Test {
 protected:
  static cms_testing::TestSigner& signer() {
    static testing_support::TempDirectory directory;
    static cms_testing::TestSigner shared(directory.path().string());
    return shared;
  }
  std::string file(const std::string& name) const { return directory_.file(name); }
  std::string signContent(const std::string& name, const std::string& content, SignedForm form) {
    cms_testing::writeBytes(file(name + ".content"), content);
    EXPECT_TRUE(signer().sign(file(name + ".content"), file(name), form));
    return file(name);
  }
  // The framing parts of a signed message file.
  static vcert::SignedDataParts partsOf(const std::string& path) {
    provider_testing::MemorySource source(cms_testing::readBytes(path));
    vcert::BerReader reader(source);
    SkipContent sink;
    return vcert::readSignedMessage(reader, sink);
  }

  testing_support::TempDirectory directory_;
};

TEST_F(FileConversionsTest, StreamsNestedContentPiecesInOrder) {
  const auto parts = partsOf(signContent("detached", "abcdef", SignedForm::kDetachedDer));
  // eContent as a streaming signer may nest it: constructed strings of
  // definite and indefinite length around primitive pieces, one of them empty.
  const std::string content = std::string("\x24\x80", 2) + "\x24\x07\x04\x02" "ab" "\x04\x01" "c" +
                              std::string("\x24\x80\x04\x00\x04\x03" "def" "\x00\x00", 11) + std::string(2, '\0');
  const std::string typeAndContent = parts.contentType + "\xA0\x80" + content + std::string(2, '\0');
  const std::string message = std::string("\x30\x80\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02\xA0\x80\x30\x80", 17) +
                              parts.beforeEncapsulated + "\x30\x80" + typeAndContent + std::string(2, '\0') +
                              parts.afterEncapsulated + std::string(6, '\0');
  cms_testing::writeBytes(file("nested"), message);

  const auto facts = vcert::inspectSignedFile(file("nested"));
  EXPECT_TRUE(facts.contentPresent);
  EXPECT_EQ(facts.contentLength, 6u);
  vcert::detachSignedFile(file("nested"), file("content"), file("signature"));
  EXPECT_EQ(cms_testing::readBytes(file("content")), "abcdef");
  EXPECT_EQ(signer().verifyDetached(file("signature"), file("content")), "");
  EXPECT_EQ(cms_testing::readBytes(file("signature")), cms_testing::readBytes(file("detached")))
      << "the detached form is the signer's own detached DER";
}

TEST_F(FileConversionsTest, ReportsWhatAMessageHolds) {
  const auto facts = vcert::inspectSignedFile(signContent("signed", std::string(1000, 'q'), SignedForm::kPem));
  EXPECT_TRUE(facts.pem);
  EXPECT_TRUE(facts.contentPresent);
  EXPECT_EQ(facts.contentLength, 1000u);
  EXPECT_EQ(facts.signerCount, 1u);
  EXPECT_EQ(facts.contentType, "1.2.840.113549.1.7.1");
  EXPECT_EQ(facts.firstSigner, "issuer=CN=Converter test signer, serial=5157");

  const auto detached = vcert::inspectSignedFile(signContent("detached", "x", SignedForm::kDetachedDer));
  EXPECT_FALSE(detached.contentPresent);
  EXPECT_EQ(detached.contentLength, 0u);
}

TEST_F(FileConversionsTest, EmptyContentDetachesAndAttaches) {
  const std::string input = signContent("signed", "", SignedForm::kDer);
  EXPECT_TRUE(vcert::inspectSignedFile(input).contentPresent);
  vcert::detachSignedFile(input, file("content"), file("signature"));
  EXPECT_EQ(fs::file_size(file("content")), 0u);
  vcert::attachSignedFile(file("content"), file("signature"), file("attached"));
  EXPECT_EQ(signer().verifyAttached(file("attached"), ""), "");
}

TEST_F(FileConversionsTest, ADetachedSignatureHasNothingToDetach) {
  const std::string input = signContent("detached", "content", SignedForm::kDetachedDer);
  EXPECT_EQ(failureOf([&] { vcert::detachSignedFile(input, file("content"), file("signature")); }),
            ErrorKind::kNoEmbeddedContent);
  EXPECT_FALSE(fs::exists(file("content")));
  EXPECT_FALSE(fs::exists(file("signature")));
}

TEST_F(FileConversionsTest, FilesThatAreNoSignedMessage) {
  cms_testing::writeBytes(file("empty"), "");
  cms_testing::writeBytes(file("text"), "just some text\n");
  // A ContentInfo of type data.
  cms_testing::writeBytes(file("data"), std::string("\x30\x0F\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x07\x01\xA0\x02\x04\x00", 17));
  for (const std::string& path : {file("empty"), file("text"), file("data"), signer().certificatePath(),
                                  signer().keyPath()}) {
    EXPECT_EQ(failureOf([&] { vcert::inspectSignedFile(path); }), ErrorKind::kNotSignedMessage) << path;
  }
  EXPECT_EQ(failureOf([&] { vcert::inspectSignedFile(file("missing")); }), ErrorKind::kCannotOpen);
  EXPECT_EQ(failureOf([&] { vcert::inspectSignedFile(directory_.path().string()); }), ErrorKind::kCannotOpen);
}

TEST_F(FileConversionsTest, TruncatedMessagesFailAndLeaveNoOutput) {
  for (const SignedForm form : {SignedForm::kDer, SignedForm::kStreamedBer, SignedForm::kPem}) {
    const std::string bytes = cms_testing::readBytes(signContent("signed", std::string(20000, 'z'), form));
    for (std::size_t cut = 1; cut < bytes.size(); cut += 211) {
      cms_testing::writeBytes(file("cut"), bytes.substr(0, cut));
      const ErrorKind kind = failureOf([&] { vcert::detachSignedFile(file("cut"), file("content"), file("sig")); });
      EXPECT_TRUE(kind == ErrorKind::kMalformed || (cut < 40 && kind == ErrorKind::kNotSignedMessage))
          << "form " << static_cast<int>(form) << " cut " << cut << " kind " << static_cast<int>(kind);
      ASSERT_FALSE(fs::exists(file("content")));
      ASSERT_FALSE(fs::exists(file("sig")));
      ASSERT_FALSE(fs::exists(file("content.partial")));
    }
  }
}

TEST_F(FileConversionsTest, AFailedConversionKeepsWhatWasThereBefore) {
  const std::string bytes = cms_testing::readBytes(signContent("signed", std::string(5000, 'n'), SignedForm::kDer));
  cms_testing::writeBytes(file("cut"), bytes.substr(0, bytes.size() - 100));  // breaks off in the signer infos
  cms_testing::writeBytes(file("content"), "earlier content");
  cms_testing::writeBytes(file("sig"), "earlier signature");
  EXPECT_EQ(failureOf([&] { vcert::detachSignedFile(file("cut"), file("content"), file("sig")); }), ErrorKind::kMalformed);
  EXPECT_EQ(cms_testing::readBytes(file("content")), "earlier content");
  EXPECT_EQ(cms_testing::readBytes(file("sig")), "earlier signature");
  EXPECT_EQ(std::distance(fs::directory_iterator(directory_.path()), fs::directory_iterator()), 5)
      << "no temporary file is left behind";
}

TEST_F(FileConversionsTest, AttachRefusesASignatureThatCarriesContent) {
  const std::string attached = signContent("signed", "content", SignedForm::kDer);
  EXPECT_EQ(failureOf([&] { vcert::attachSignedFile(file("signed.content"), attached, file("out")); }),
            ErrorKind::kAlreadyAttached);
  EXPECT_FALSE(fs::exists(file("out")));
}

TEST_F(FileConversionsTest, NeverWritesOverAnInput) {
  const std::string input = signContent("signed", "precious", SignedForm::kDer);
  const std::string before = cms_testing::readBytes(input);
  EXPECT_EQ(failureOf([&] { vcert::detachSignedFile(input, input, file("sig")); }), ErrorKind::kSameFile);
  EXPECT_EQ(failureOf([&] { vcert::detachSignedFile(input, file("content"), input); }), ErrorKind::kSameFile);
  EXPECT_EQ(cms_testing::readBytes(input), before);

  vcert::detachSignedFile(input, file("content"), file("sig"));
  EXPECT_EQ(failureOf([&] { vcert::attachSignedFile(file("content"), file("sig"), file("content")); }),
            ErrorKind::kSameFile);
  EXPECT_EQ(cms_testing::readBytes(file("content")), "precious");
}

TEST_F(FileConversionsTest, RefusesAnOversizedSignatureStructure) {
  auto parts = partsOf(signContent("detached", "x", SignedForm::kDetachedDer));
  const std::uint64_t hugeLength = vcert::kMaxSignatureStructure + 1;
  parts.afterEncapsulated = "\xA1" + vcert::derLength(hugeLength) + std::string(hugeLength, '\0') + parts.afterEncapsulated;
  cms_testing::writeBytes(file("huge"), vcert::encodeDetachedMessage(parts));
  EXPECT_EQ(failureOf([&] { vcert::inspectSignedFile(file("huge")); }), ErrorKind::kStructureTooLarge);
}

TEST_F(FileConversionsTest, CryptoLibraryRejectionsComeWithItsOwnErrorLines) {
  auto parts = partsOf(signContent("detached", "x", SignedForm::kDetachedDer));
  parts.afterEncapsulated = std::string("\x31\x03\x02\x01\x07", 5);  // a signer info that is a bare INTEGER
  cms_testing::writeBytes(file("broken"), vcert::encodeDetachedMessage(parts));
  vcert::clearErrorLines();
  try {
    vcert::inspectSignedFile(file("broken"));
    FAIL() << "accepted";
  } catch (const vcert::ProviderFailure& failure) {
    EXPECT_EQ(failure.kind(), ErrorKind::kMalformed);
  }
  std::vector<vcert::ErrorLine> lines;
  for (vcert::ErrorLine line; vcert::takeErrorLine(line);) lines.push_back(line);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_NE(lines.front().details, lines.back().details) << "the crypto library's own explanation comes first";
  EXPECT_EQ(lines.back().details, CMS_LIBRARY " does not accept the signature structure");
  EXPECT_EQ(lines.back().file, CMS_CHECK_SOURCE);
  EXPECT_GT(lines.back().line, 0u);
}

}  // namespace

TEST_F(FileConversionsTest, RefusesContentWithOneFlippedByte) {
  const std::string content(3000, 'k');
  std::string bytes = cms_testing::readBytes(signContent("signed", content, SignedForm::kDer));
  const std::size_t at = bytes.find(content) + 1234;
  bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
  cms_testing::writeBytes(file("altered"), bytes);
  EXPECT_EQ(failureOf([&] { vcert::detachSignedFile(file("altered"), file("content"), file("signature")); }),
            ErrorKind::kBadSignature);
  EXPECT_FALSE(fs::exists(file("content")));
  EXPECT_FALSE(fs::exists(file("signature")));

  vcert::detachSignedFile(file("signed"), file("content"), file("signature"));
  std::string altered = content;
  altered[1234] = 'j';
  cms_testing::writeBytes(file("content"), altered);
  EXPECT_EQ(failureOf([&] { vcert::attachSignedFile(file("content"), file("signature"), file("attached")); }),
            ErrorKind::kBadSignature);
  EXPECT_FALSE(fs::exists(file("attached")));

  // The content intact, the signature value (the file's last bytes) not.
  bytes = cms_testing::readBytes(file("signed"));
  bytes.back() = static_cast<char>(bytes.back() ^ 0x01);
  cms_testing::writeBytes(file("altered"), bytes);
  EXPECT_EQ(failureOf([&] { vcert::detachSignedFile(file("altered"), file("content2"), file("signature2")); }),
            ErrorKind::kBadSignature);
}
