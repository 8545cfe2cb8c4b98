#include "file_conversions.h"

#include "ber_reader.h"
#include "byte_source.h"
#include "cms_check.h"
#include "output_file.h"
#include "provider_failure.h"
#include "signed_data_framing.h"

namespace vcert {

namespace {

class SkippingSink : public ContentSink {
 public:
  void take(BerReader& reader, std::uint64_t length) override { reader.skip(length); }
};

class CopyingSink : public ContentSink {
 public:
  explicit CopyingSink(OutputFile& out) : out_(out) {}
  void take(BerReader& reader, std::uint64_t length) override { reader.copyTo(out_, length); }

 private:
  OutputFile& out_;
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
  const SignatureSummary summary = checkDetachedMessage(encodeDetachedMessage(parts));

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
  CopyingSink sink(content);
  const SignedDataParts parts = readSignedMessage(reader, sink);
  if (!parts.contentPresent) raiseFailure(ErrorKind::kNoEmbeddedContent, signedPath + " carries no content");

  const std::string detached = encodeDetachedMessage(parts);
  checkDetachedMessage(detached);
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
  checkDetachedMessage(encodeDetachedMessage(parts));

  FileSource content(contentPath);
  OutputFile out(signedPath, {&contentPath, &signaturePath});
  out.write(encodeMessagePrefix(parts, content.size()));
  copyWholeFile(content, content.size(), out);
  out.write(parts.afterEncapsulated);
  out.finish();
  out.keep();
}

}  // namespace vcert
