// The crypto back end's view of the signature structure the provider
// re-framed: the detached message (small, without content) is parsed by the
// back end's CMS parser, so nothing leaves the provider that it would not
// read, and the signatures are verified against digests of the content taken
// as it streams past. Two back ends implement this header: OpenSSL
// (cms_check_openssl.cc) and libksba with libgcrypt (cms_check_gcrypt.cc).
// Thread-safe (distinct objects on distinct threads).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vcert {

struct SignatureSummary {
  std::uint32_t signerCount = 0;
  std::string contentType;  // dotted OID
  std::string firstSigner;  // "issuer=..., serial=..." or "keyid=..."; "" without signers
};

// Digests of content bytes, one per digest algorithm the message names.
// Algorithms the back end does not know are left out; a signer using one
// then fails verification.
class ContentDigests {
 public:
  explicit ContentDigests(const std::vector<std::string>& algorithmOids);
  ~ContentDigests();
  ContentDigests(const ContentDigests&) = delete;
  ContentDigests& operator=(const ContentDigests&) = delete;

  void update(const std::uint8_t* data, std::size_t size);
  // The digest for the algorithm (dotted OID); "" when it was not computed.
  std::string digest(const std::string& algorithmOid) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Parses the DER of a detached signed message. Throws kMalformed, with the
// back end's own error lines before the provider's, when the back end
// rejects it. With `content`, every signer's signature must verify over that
// content with the certificate the message carries for it (kBadSignature
// otherwise); without, nothing is verified (a detached signature on its
// own has nothing to be checked against).
SignatureSummary checkDetachedMessage(const std::string& der, const ContentDigests* content);

}  // namespace vcert
