// The exported functions of both provider builds, loaded as the converter
// loads them: codes, texts, error lines, information records and memory.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>

#include "der_encoding.h"
#include "memory_source.h"
#include "platform/dynamic_library.h"
#include "signed_data_framing.h"
#include "support/cms_fixture.h"
#include "support/temp_directory.h"
#include "vcert_api.h"

namespace {

namespace fs = std::filesystem;

// One loaded provider build and the functions of both kinds it may export.
struct Provider {
  explicit Provider(const char* path) {
    std::string error;
    library = platform::DynamicLibrary::open(path, error);
    EXPECT_NE(library, nullptr) << error;
  }
  template <typename Function>
  Function* get(const char* name) const {
    return library->function<Function*>(name);
  }

  std::unique_ptr<platform::DynamicLibrary> library;
};

class VcertExportsTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    kind6_ = new Provider(KIND6_PROVIDER);
    kind5_ = new Provider(KIND5_PROVIDER);
  }
  static void TearDownTestSuite() {
    delete kind6_;
    delete kind5_;
  }
  void SetUp() override {
    ASSERT_EQ(kind6_->get<decltype(VCERT_InitMinimal)>("VCERT_InitMinimal")(&context_), 0u);
    ASSERT_NE(context_, nullptr);
  }
  void TearDown() override { EXPECT_EQ(kind6_->get<decltype(VCERT_Uninitialize)>("VCERT_Uninitialize")(context_), 0u); }

  static cms_testing::TestSigner& signer() {
    static testing_support::TempDirectory directory;
    static cms_testing::TestSigner shared(directory.path().string());
    return shared;
  }
  std::string file(const std::string& name) const { return directory_.file(name); }
  std::string signedFile(const std::string& content, cms_testing::SignedForm form) {
    cms_testing::writeBytes(file("content"), content);
    EXPECT_TRUE(signer().sign(file("content"), file("signed"), form));
    return file("signed");
  }

  // Takes every error line of the thread through VCERT_GetErrorLineEx and
  // frees its texts.
  std::vector<std::string> errorLines(const Provider& provider) {
    const auto getLine = provider.get<decltype(VCERT_GetErrorLineEx)>("VCERT_GetErrorLineEx");
    const auto freeMem = provider.get<decltype(VCERT_FreeMem)>("VCERT_FreeMem");
    std::vector<std::string> lines;
    for (;;) {
      VcertTextItem details{}, sourceFile{}, further{};
      std::uint32_t line = 0;
      if (getLine(context_, &details, &sourceFile, &line, &further) != 0) break;
      lines.push_back(std::string(details.text, details.length) + "|" + std::string(sourceFile.text, sourceFile.length) +
                      "|" + std::to_string(line) + "|" + (further.length != 0 ? "function" : ""));
      for (VcertTextItem* item : {&details, &sourceFile, &further}) freeMem(context_, item->text);
    }
    return lines;
  }

  static Provider* kind6_;
  static Provider* kind5_;
  VcertContext context_ = nullptr;
  testing_support::TempDirectory directory_;
};

Provider* VcertExportsTest::kind6_ = nullptr;
Provider* VcertExportsTest::kind5_ = nullptr;

TEST_F(VcertExportsTest, DescribesItsCodes) {
  const auto text = kind6_->get<decltype(VCERT_GetErrorText)>("VCERT_GetErrorText");
  char buffer[1024];
  ASSERT_EQ(text(0xE070000F, buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "The file is not a CMS signed message");
  ASSERT_EQ(text(0xE070001A, buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "The file is not a CMS signed message");
  ASSERT_EQ(text(0x12345678, buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "Unknown error 0x12345678");
  char small[5] = {'#', '#', '#', '#', '#'};
  ASSERT_EQ(text(0xE0700002, small, sizeof small), 0u);
  EXPECT_STREQ(small, "Cann");
  EXPECT_NE(text(0xE0700002, nullptr, 10), 0u);
}

TEST_F(VcertExportsTest, EachKindAnswersAForeignFileWithItsOwnCode) {
  cms_testing::writeBytes(file("plain"), "not signed at all");
  VcertCmsMessageInfo info6{};
  EXPECT_EQ(kind6_->get<decltype(VCERT_CmsStrMsgInfFile)>("VCERT_CmsStrMsgInfFile")(context_, file("plain").c_str(), &info6, 0),
            0xE070000Fu);
  VcertSignedInfoResult info5{};
  EXPECT_EQ(kind5_->get<decltype(VCERT_SignedInfoFile)>("VCERT_SignedInfoFile")(context_, file("plain").c_str(), &info5),
            0xE070001Au);
  EXPECT_EQ(info5.firstSigner, nullptr) << "a failure hands out nothing";
}

TEST_F(VcertExportsTest, InformationRecordsCarryTheEmbeddedCountAtTheirOffsets) {
  const std::string input = signedFile(std::string(777, 'c'), cms_testing::SignedForm::kStreamedBer);
  unsigned char record6[48] = {};
  ASSERT_EQ(kind6_->get<decltype(VCERT_CmsStrMsgInfFile)>("VCERT_CmsStrMsgInfFile")(
                context_, input.c_str(), reinterpret_cast<VcertCmsMessageInfo*>(record6), 0),
            0u);
  std::uint32_t count = 0;
  std::memcpy(&count, record6 + 8, 4);
  EXPECT_EQ(count, 777u);
  auto* info6 = reinterpret_cast<VcertCmsMessageInfo*>(record6);
  EXPECT_STREQ(info6->contentType, "1.2.840.113549.1.7.1");
  EXPECT_EQ(info6->signerCount, 1u);
  EXPECT_EQ(kind6_->get<decltype(VCERT_CmsFreeMsgInf)>("VCERT_CmsFreeMsgInf")(context_, info6), 0u);
  EXPECT_EQ(info6->contentType, nullptr);

  unsigned char record5[16] = {};
  ASSERT_EQ(kind5_->get<decltype(VCERT_SignedInfoFile)>("VCERT_SignedInfoFile")(
                context_, input.c_str(), reinterpret_cast<VcertSignedInfoResult*>(record5)),
            0u);
  std::memcpy(&count, record5 + 4, 4);
  EXPECT_EQ(count, 777u);
  auto* info5 = reinterpret_cast<VcertSignedInfoResult*>(record5);
  EXPECT_STREQ(info5->firstSigner, "issuer=CN=Converter test signer, serial=5157");
  EXPECT_EQ(kind5_->get<decltype(VCERT_FreeSignedInfoResult)>("VCERT_FreeSignedInfoResult")(context_, info5), 0u);
}

TEST_F(VcertExportsTest, TheCountOfAMultipleOfFourGiBIsNotZero) {
  // A sparse file: the 4 GiB of content are a hole, only the framing is written.
  const std::string detached = signedFile("x", cms_testing::SignedForm::kDetachedDer);
  provider_testing::MemorySource source(cms_testing::readBytes(detached));
  vcert::BerReader reader(source);
  struct : vcert::ContentSink {
    void take(vcert::BerReader& r, std::uint64_t n) override { r.skip(n); }
  } sink;
  const auto parts = vcert::readSignedMessage(reader, sink);
  constexpr std::uint64_t kFourGiB = 1ull << 32;
  {
    std::ofstream out(file("huge"), std::ios::binary);
    const std::string prefix = vcert::encodeMessagePrefix(parts, kFourGiB);
    out.write(prefix.data(), static_cast<std::streamsize>(prefix.size()));
    out.seekp(static_cast<std::streamoff>(prefix.size() + kFourGiB));
    out.write(parts.afterEncapsulated.data(), static_cast<std::streamsize>(parts.afterEncapsulated.size()));
  }
  VcertCmsMessageInfo info{};
  ASSERT_EQ(kind6_->get<decltype(VCERT_CmsStrMsgInfFile)>("VCERT_CmsStrMsgInfFile")(context_, file("huge").c_str(), &info, 0),
            0u);
  EXPECT_EQ(info.embeddedCount, 0xFFFFFFFFu);
  EXPECT_EQ(info.embeddedBytes, kFourGiB);
  kind6_->get<decltype(VCERT_CmsFreeMsgInf)>("VCERT_CmsFreeMsgInf")(context_, &info);
}

TEST_F(VcertExportsTest, AFailureLeavesItsErrorLinesUntilTheNextOperation) {
  const auto detach = kind6_->get<decltype(VCERT_CmsStrSignDetachFile)>("VCERT_CmsStrSignDetachFile");
  const std::string missing = file("missing");
  EXPECT_EQ(detach(context_, missing.c_str(), file("a").c_str(), file("b").c_str(), 0), 0xE0700002u);
  const auto lines = errorLines(*kind6_);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("cannot open " + missing + ": No such file or directory|byte_source.cc|", 0), 0u) << lines[0];
  EXPECT_EQ(lines[0].substr(lines[0].size() - 9), "|function");

  EXPECT_EQ(detach(context_, missing.c_str(), file("a").c_str(), file("b").c_str(), 0), 0xE0700002u);
  const std::string input = signedFile("fine", cms_testing::SignedForm::kDer);
  EXPECT_EQ(detach(context_, input.c_str(), file("a").c_str(), file("b").c_str(), 0), 0u);
  EXPECT_TRUE(errorLines(*kind6_).empty()) << "each operation starts with no error lines";
}

TEST_F(VcertExportsTest, RefusesMissingArguments) {
  const auto attach = kind5_->get<decltype(VCERT_AttachSignFile)>("VCERT_AttachSignFile");
  EXPECT_EQ(attach(nullptr, "a", "b", "c"), 0xE0700001u);
  EXPECT_EQ(attach(context_, "a", nullptr, "c"), 0xE0700001u);
  EXPECT_EQ(attach(context_, "a", "b", ""), 0xE0700001u);
  EXPECT_EQ(kind5_->get<decltype(VCERT_InitMinimal)>("VCERT_InitMinimal")(nullptr), 0xE0700001u);
  EXPECT_EQ(kind6_->get<decltype(VCERT_CmsStrMsgInfFile)>("VCERT_CmsStrMsgInfFile")(context_, "x", nullptr, 0),
            0xE0700001u);
  errorLines(*kind5_);
}

}  // namespace
