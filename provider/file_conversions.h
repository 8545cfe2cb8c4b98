// The provider's three file operations over signed messages in DER, BER or
// PEM form. Content is streamed, so memory use does not depend on the file
// size. Each throws ProviderFailure after putting its explanation on the
// thread's error queue; outputs of a failed operation are removed.
// Thread-safe (no shared state).
#pragma once

#include <cstdint>
#include <string>

namespace vcert {

struct MessageFacts {
  bool pem = false;
  bool contentPresent = false;
  std::uint64_t contentLength = 0;  // embedded content bytes
  std::uint32_t signerCount = 0;
  std::string contentType;
  std::string firstSigner;
};

// What a signed file holds. kNotSignedMessage for a file that is not one.
// The signatures are not verified here: the file is read once more by the
// conversion that follows, which verifies them.
MessageFacts inspectSignedFile(const std::string& signedPath);

// Writes the embedded content of `signedPath` to `contentPath` and the same
// message without it, in DER, to `signaturePath`. kNoEmbeddedContent when
// there is no content to take out, kBadSignature when a signature does not
// verify over the content.
void detachSignedFile(const std::string& signedPath, const std::string& contentPath,
                      const std::string& signaturePath);

// Writes to `signedPath`, in DER, the detached message of `signaturePath`
// with the bytes of `contentPath` embedded. kAlreadyAttached when the
// signature carries content of its own, kBadSignature when a signature does
// not verify over the content.
void attachSignedFile(const std::string& contentPath, const std::string& signaturePath,
                      const std::string& signedPath);

}  // namespace vcert
