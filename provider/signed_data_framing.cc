#include "signed_data_framing.h"

#include <algorithm>

#include "der_encoding.h"
#include "provider_failure.h"

namespace vcert {

namespace {

// 1.2.840.113549.1.7.2, id-signedData.
const std::string kSignedDataOid = "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02";
constexpr std::uint8_t kSequenceTag = 0x30;
constexpr std::uint8_t kExplicitZeroTag = 0xA0;
constexpr std::uint8_t kOctetStringTag = 0x04;
constexpr int kMaxStringNesting = 16;

struct Envelope {
  Container contentInfo;
  Container explicitContent;
};

// The ContentInfo header, its content type and the [0] around the
// SignedData. Anything wrong here means the input is not a signed message.
Envelope readEnvelope(BerReader& reader) {
  try {
    const BerHeader contentInfo = reader.readHeader();
    if (!contentInfo.is(TagClass::kUniversal, true, kTagSequence)) {
      raiseFailure(ErrorKind::kNotSignedMessage, "the file does not begin with a SEQUENCE");
    }
    Envelope envelope;
    envelope.contentInfo = reader.enter(contentInfo);
    const BerHeader type = reader.next(envelope.contentInfo, "content type");
    std::string oid;
    if (type.is(TagClass::kUniversal, false, kTagObjectIdentifier) && type.length == kSignedDataOid.size()) {
      reader.readContent(type.length, oid);
    }
    if (oid != kSignedDataOid) raiseFailure(ErrorKind::kNotSignedMessage, "the content type is not signedData");
    const BerHeader content = reader.next(envelope.contentInfo, "signed data");
    if (!content.is(TagClass::kContext, true, 0)) raiseFailure(ErrorKind::kNotSignedMessage, "no [0] content");
    envelope.explicitContent = reader.enter(content);
    return envelope;
  } catch (const ProviderFailure& failure) {
    if (failure.kind() != ErrorKind::kMalformed) throw;
    raiseFailure(ErrorKind::kNotSignedMessage, "the file is not a CMS signed message");
  }
}

BerHeader expectElement(BerReader& reader, const Container& container, TagClass tagClass, bool constructed,
                        std::uint32_t tagNumber, const char* what) {
  BerHeader header = reader.next(container, what);
  if (!header.is(tagClass, constructed, tagNumber)) reader.malformed(std::string("unexpected tag for ") + what);
  return header;
}

// Hands the pieces of an OCTET STRING (primitive, or constructed of OCTET
// STRINGs at any depth) to the sink.
void readOctetString(BerReader& reader, const BerHeader& header, ContentSink& sink, std::uint64_t& total, int depth) {
  if (depth > kMaxStringNesting) reader.malformed("content pieces nested too deeply");
  if (!header.constructed) {
    sink.take(reader, header.length);
    total += header.length;
    return;
  }
  const Container pieces = reader.enter(header);
  while (!reader.atEnd(pieces)) {
    const BerHeader piece = reader.next(pieces, "content piece");
    if (piece.tagClass != TagClass::kUniversal || piece.tagNumber != kTagOctetString) {
      reader.malformed("content piece is not an OCTET STRING");
    }
    readOctetString(reader, piece, sink, total, depth + 1);
  }
}

void readEncapsulatedContent(BerReader& reader, const Container& signedData, SignedDataParts& parts,
                             ContentSink& sink, SizeBudget& budget) {
  const BerHeader encapsulated =
      expectElement(reader, signedData, TagClass::kUniversal, true, kTagSequence, "encapsulated content info");
  const Container info = reader.enter(encapsulated);
  const BerHeader type =
      expectElement(reader, info, TagClass::kUniversal, false, kTagObjectIdentifier, "encapsulated content type");
  parts.contentType = readDefiniteElement(reader, type, budget);
  if (reader.atEnd(info)) return;

  const BerHeader explicitContent = expectElement(reader, info, TagClass::kContext, true, 0, "encapsulated content");
  parts.contentPresent = true;
  sink.begin(parts);
  const Container wrapper = reader.enter(explicitContent);
  const BerHeader octets = reader.next(wrapper, "content OCTET STRING");
  if (octets.tagClass != TagClass::kUniversal || octets.tagNumber != kTagOctetString) {
    reader.malformed("the content is not an OCTET STRING");
  }
  readOctetString(reader, octets, sink, parts.contentLength, 0);
  reader.expectEnd(wrapper, "the content");
  reader.expectEnd(info, "the encapsulated content");
}

// A byte source over bytes in memory.
class TextSource : public ByteSource {
 public:
  explicit TextSource(const std::string& bytes) : bytes_(bytes) {}
  std::size_t read(std::uint8_t* buffer, std::size_t capacity) override {
    const std::size_t count = std::min(capacity, bytes_.size() - position_);
    std::copy_n(bytes_.data() + position_, count, buffer);
    position_ += count;
    return count;
  }

 private:
  const std::string& bytes_;
  std::size_t position_ = 0;
};

std::string dottedOid(const std::string& content) {
  std::string text;
  std::uint64_t value = 0;
  bool first = true;
  for (const char c : content) {
    value = (value << 7) | (static_cast<std::uint8_t>(c) & 0x7F);
    if ((static_cast<std::uint8_t>(c) & 0x80) != 0) continue;
    if (first) {
      const std::uint64_t arc = value < 80 ? value / 40 : 2;
      text = std::to_string(arc) + "." + std::to_string(value - arc * 40);
      first = false;
    } else {
      text += "." + std::to_string(value);
    }
    value = 0;
  }
  return text;
}

}  // namespace

std::vector<std::string> digestAlgorithmOids(const SignedDataParts& parts) {
  TextSource source(parts.beforeEncapsulated);
  BerReader reader(source, 4096);
  const BerHeader version = reader.readHeader();
  reader.skip(version.length);
  const BerHeader set = reader.readHeader();
  if (!set.is(TagClass::kUniversal, true, kTagSet)) reader.malformed("the digest algorithms are not a SET");
  const Container algorithms = reader.enter(set);
  std::vector<std::string> oids;
  while (!reader.atEnd(algorithms)) {
    const BerHeader algorithm = reader.next(algorithms, "digest algorithm");
    if (!algorithm.is(TagClass::kUniversal, true, kTagSequence)) reader.malformed("a digest algorithm is not a SEQUENCE");
    const Container fields = reader.enter(algorithm);
    const BerHeader oid = reader.next(fields, "digest algorithm OID");
    if (!oid.is(TagClass::kUniversal, false, kTagObjectIdentifier)) reader.malformed("a digest algorithm has no OID");
    std::string content;
    reader.readContent(oid.length, content);
    oids.push_back(dottedOid(content));
    while (!reader.atEnd(fields)) reader.skip(reader.next(fields, "digest parameters").length);
  }
  return oids;
}

SignedDataParts readSignedMessage(BerReader& reader, ContentSink& sink) {
  SizeBudget budget(kMaxSignatureStructure);
  const Envelope envelope = readEnvelope(reader);
  SignedDataParts parts;
  const BerHeader signedDataHeader =
      expectElement(reader, envelope.explicitContent, TagClass::kUniversal, true, kTagSequence, "SignedData");
  const Container signedData = reader.enter(signedDataHeader);
  const BerHeader version = expectElement(reader, signedData, TagClass::kUniversal, false, kTagInteger, "version");
  parts.beforeEncapsulated = readDefiniteElement(reader, version, budget);
  const BerHeader digests =
      expectElement(reader, signedData, TagClass::kUniversal, true, kTagSet, "digest algorithms");
  parts.beforeEncapsulated += readDefiniteElement(reader, digests, budget);
  readEncapsulatedContent(reader, signedData, parts, sink, budget);
  while (!reader.atEnd(signedData)) {
    const BerHeader element = reader.next(signedData, "SignedData element");
    parts.afterEncapsulated += readDefiniteElement(reader, element, budget);
  }
  if (parts.afterEncapsulated.empty()) reader.malformed("missing signer infos");
  reader.expectEnd(envelope.explicitContent, "SignedData");
  reader.expectEnd(envelope.contentInfo, "the signed message");
  return parts;
}

std::string encodeMessagePrefix(const SignedDataParts& parts, std::optional<std::uint64_t> contentLength) {
  std::uint64_t encapsulatedLength = parts.contentType.size();
  if (contentLength) encapsulatedLength += derElementSize(derElementSize(*contentLength));
  const std::uint64_t signedDataLength =
      parts.beforeEncapsulated.size() + derElementSize(encapsulatedLength) + parts.afterEncapsulated.size();
  const std::uint64_t contentInfoLength =
      derElementSize(kSignedDataOid.size()) + derElementSize(derElementSize(signedDataLength));

  std::string prefix = derHeader(kSequenceTag, contentInfoLength);
  prefix += derHeader(static_cast<std::uint8_t>(kTagObjectIdentifier), kSignedDataOid.size()) + kSignedDataOid;
  prefix += derHeader(kExplicitZeroTag, derElementSize(signedDataLength));
  prefix += derHeader(kSequenceTag, signedDataLength);
  prefix += parts.beforeEncapsulated;
  prefix += derHeader(kSequenceTag, encapsulatedLength);
  prefix += parts.contentType;
  if (contentLength) {
    prefix += derHeader(kExplicitZeroTag, derElementSize(*contentLength));
    prefix += derHeader(kOctetStringTag, *contentLength);
  }
  return prefix;
}

std::string encodeDetachedMessage(const SignedDataParts& parts) {
  return encodeMessagePrefix(parts, std::nullopt) + parts.afterEncapsulated;
}

}  // namespace vcert
