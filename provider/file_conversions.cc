#include "file_conversions.h"

#include <memory>

#include "ber_reader.h"
#include "byte_source.h"
#include "cms_check.h"
#include "digest_pipeline.h"
#include "output_file.h"
#include "provider_failure.h"
#include "signed_data_framing.h"

namespace vcert {

namespace {

class SkippingSink : public ContentSink {
 public:
  void take(BerReader& reader, std::uint64_t length) override { reader.skip(length); }
};

// Copies the content to a file and digests it on the way.
class DigestingSink : public ContentSink {
 public:
  explicit DigestingSink(OutputFile& out) : out_(out) {}
  void begin(const SignedDataParts& parts) override {
    digests_ = std::make_unique<ContentDigests>(digestAlgorithmOids(parts));
    pipeline_ = std::make_unique<DigestPipeline>(*digests_);
  }
  void take(BerReader& reader, std::uint64_t length) override {
    reader.forEachPiece(length, [this](const std::uint8_t* data, std::size_t size) {
      pipeline_->update(data, size);
      out_.write(data, size);
    });
  }
  // The digests of the whole content; nullptr when the message carried none.
  const ContentDigests* digests() {
    if (pipeline_ != nullptr) pipeline_->finish();
    return digests_.get();
  }

 private:
  OutputFile& out_;
  std::unique_ptr<ContentDigests> digests_;
  std::unique_ptr<DigestPipeline> pipeline_;  // stopped before digests_ goes
};

// A detached signature must not bring content of its own.
class RejectingSink : public ContentSink {
 public:
  void take(BerReader&, std::uint64_t length) override {
    if (length > 0) raiseFailure(ErrorKind::kAlreadyAttached, "the signature file carries content");
  }
};

}  // namespace

MessageFacts inspectSignedFile(const std::string& signedPath) {
  SignedInput input(signedPath);
  BerReader reader(input.bytes());
  SkippingSink sink;
  const SignedDataParts parts = readSignedMessage(reader, sink);
  const SignatureSummary summary = checkDetachedMessage(encodeDetachedMessage(parts), nullptr);

  MessageFacts facts;
  facts.pem = input.pem != nullptr;
  facts.contentPresent = parts.contentPresent;
  facts.contentLength = parts.contentLength;
  facts.signerCount = summary.signerCount;
  facts.contentType = summary.contentType;
  facts.firstSigner = summary.firstSigner;
  return facts;
}

void detachSignedFile(const std::string& signedPath, const std::string& contentPath,
                      const std::string& signaturePath) {
  SignedInput input(signedPath);
  OutputFile content(contentPath, {&signedPath});
  OutputFile signature(signaturePath, {&signedPath, &contentPath});
  BerReader reader(input.bytes());
  DigestingSink sink(content);
  const SignedDataParts parts = readSignedMessage(reader, sink);
  if (!parts.contentPresent) raiseFailure(ErrorKind::kNoEmbeddedContent, signedPath + " carries no content");

  const std::string detached = encodeDetachedMessage(parts);
  checkDetachedMessage(detached, sink.digests());
  signature.write(detached);
  content.finish();
  signature.finish();
  content.keep();
  signature.keep();
}

void attachSignedFile(const std::string& contentPath, const std::string& signaturePath,
                      const std::string& signedPath) {
  SignedDataParts parts;
  {
    SignedInput input(signaturePath);
    BerReader reader(input.bytes(), 64 << 10);
    RejectingSink sink;
    parts = readSignedMessage(reader, sink);
  }
  if (parts.contentPresent) raiseFailure(ErrorKind::kAlreadyAttached, signaturePath + " carries content");
  const std::string detached = encodeDetachedMessage(parts);
  checkDetachedMessage(detached, nullptr);

  FileSource content(contentPath);
  OutputFile out(signedPath, {&contentPath, &signaturePath});
  ContentDigests digests(digestAlgorithmOids(parts));
  DigestPipeline pipeline(digests);
  out.write(encodeMessagePrefix(parts, content.size()));
  copyWholeFile(content, content.size(), out,
                [&pipeline](const std::uint8_t* data, std::size_t size) { pipeline.update(data, size); });
  out.write(parts.afterEncapsulated);
  pipeline.finish();
  checkDetachedMessage(detached, &digests);
  out.finish();
  out.keep();
}

}  // namespace vcert
