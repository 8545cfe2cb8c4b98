// Signed test messages made at run time: a fresh P-256 key with a
// self-signed certificate, CMS signing of files in the forms signers write
// (DER, streamed BER, PEM, detached DER), and a verification of the results
// that does not go through the provider: OpenSSL's on Linux
// (test_signer_openssl.cc), on Windows one on libgcrypt
// (test_signer_gcrypt.cc). Nothing secret is stored in the tree. Not
// thread-safe per object.
#pragma once

#include <cstdint>
#include <string>

namespace cms_testing {

enum class SignedForm {
  kDer,          // attached, definite lengths, content in one OCTET STRING
  kStreamedBer,  // attached, indefinite lengths, content in pieces
  kPem,          // the streamed form as PEM text
  kDetachedDer,  // signature only
};

class TestSigner {
 public:
  // Creates the key and certificate and writes them as PEM files
  // ("signer-key.pem", "signer-cert.pem") into `directory`.
  explicit TestSigner(const std::string& directory);
  ~TestSigner();
  TestSigner(const TestSigner&) = delete;
  TestSigner& operator=(const TestSigner&) = delete;

  const std::string& certificatePath() const { return certificatePath_; }
  const std::string& keyPath() const { return keyPath_; }

  // Signs the bytes of `contentPath` into `signedPath`; streams the content
  // in the streamed and PEM forms. Returns false (and prints OpenSSL's
  // errors) on failure.
  bool sign(const std::string& contentPath, const std::string& signedPath, SignedForm form) const;

  // Verifies an attached message (DER, BER or PEM) against the certificate
  // and writes its content to `contentOut`. "" on success, else the reason.
  std::string verifyAttached(const std::string& signedPath, const std::string& contentOut) const;
  // Verifies a detached signature over the bytes of `contentPath`.
  std::string verifyDetached(const std::string& signaturePath, const std::string& contentPath) const;

 private:
  std::string verify(const std::string& signedPath, const std::string* detachedContent,
                     const std::string& contentOut) const;

  struct Keys;
  Keys* keys_;
  std::string certificatePath_;
  std::string keyPath_;
};

// Writes `size` bytes of a deterministic pseudo-random pattern.
bool writePatternFile(const std::string& path, std::uint64_t size, std::uint32_t seed = 1);

// True iff both files can be read and hold the same bytes.
bool filesEqual(const std::string& a, const std::string& b);

// The base64 text of `bytes`, on one line.
std::string base64(const std::string& bytes);

// Whole-file helpers for small files.
std::string readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::string& bytes);

}  // namespace cms_testing
