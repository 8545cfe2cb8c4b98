// OpenSSL's view of the signature structure the provider re-framed: the
// detached message (small, without content) is parsed with OpenSSL's CMS
// parser, so nothing leaves the provider that OpenSSL would not read.
// Thread-safe.
#pragma once

#include <cstdint>
#include <string>

namespace vcert {

struct SignatureSummary {
  std::uint32_t signerCount = 0;
  std::string contentType;  // dotted OID
  std::string firstSigner;  // "issuer=..., serial=..." or "keyid=..."; "" without signers
};

// Parses the DER of a detached signed message. Throws kMalformed, with
// OpenSSL's own error lines before the provider's, when OpenSSL rejects it.
SignatureSummary checkDetachedMessage(const std::string& der);

}  // namespace vcert
