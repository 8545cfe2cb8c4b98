// The framing of a CMS SignedData message (a ContentInfo of type
// signedData) around its content. The content sits inside
// encapContentInfo.eContent, an OCTET STRING that streaming signers write in
// pieces (a constructed string, possibly with indefinite lengths). The
// signature does not cover this framing, so moving the content in or out is
// a re-encoding of the elements around it, which are small and kept in
// memory; the content itself is only streamed. Not thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ber_reader.h"

namespace vcert {

// The elements of a SignedData around its content, each with definite
// lengths.
struct SignedDataParts {
  std::string beforeEncapsulated;  // version, digestAlgorithms
  std::string contentType;         // eContentType
  std::string afterEncapsulated;   // certificates, crls, signerInfos
  bool contentPresent = false;     // eContent was there (possibly empty)
  std::uint64_t contentLength = 0; // bytes of eContent
};

// Receives the pieces of the content as the message is read; each call must
// consume exactly `length` bytes from the reader.
class ContentSink {
 public:
  virtual ~ContentSink() = default;
  // Called once before the first piece when the message carries content;
  // `parts` then holds everything before it.
  virtual void begin(const SignedDataParts& parts) { (void)parts; }
  virtual void take(BerReader& reader, std::uint64_t length) = 0;
};

// Upper bound of the framing elements kept in memory.
inline constexpr std::uint64_t kMaxSignatureStructure = 16u << 20;

// Reads one signed message. Throws kNotSignedMessage when the input does not
// begin as a ContentInfo of type signedData, kMalformed when it breaks off
// or its framing is wrong later, kStructureTooLarge beyond
// kMaxSignatureStructure; on failure the sink may have taken some content.
SignedDataParts readSignedMessage(BerReader& reader, ContentSink& sink);

// The DER bytes of the message up to its content. The whole message is this
// prefix, `contentLength` content bytes when given, then
// parts.afterEncapsulated. Without a content length the message is the
// detached form.
std::string encodeMessagePrefix(const SignedDataParts& parts, std::optional<std::uint64_t> contentLength);

// The digest algorithms the message names (dotted OIDs), from the framing
// read before its content. kMalformed when they cannot be read.
std::vector<std::string> digestAlgorithmOids(const SignedDataParts& parts);

// The whole detached message in DER.
std::string encodeDetachedMessage(const SignedDataParts& parts);

}  // namespace vcert
