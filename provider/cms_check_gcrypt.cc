#include <gcrypt.h>
#include <ksba.h>

#include <map>
#include <memory>
#include <mutex>

#include "cms_check.h"
#include "provider_failure.h"

namespace vcert {

namespace {

struct CmsRelease {
  void operator()(ksba_cms_t cms) const { ksba_cms_release(cms); }
};
struct ReaderRelease {
  void operator()(ksba_reader_t reader) const { ksba_reader_release(reader); }
};
struct CertRelease {
  void operator()(ksba_cert_t cert) const { ksba_cert_release(cert); }
};
struct KsbaFree {
  void operator()(void* memory) const { ksba_free(memory); }
};
struct SexpRelease {
  void operator()(gcry_sexp_t sexp) const { gcry_sexp_release(sexp); }
};
struct DigestClose {
  void operator()(gcry_md_hd_t digest) const { gcry_md_close(digest); }
};
using Cms = std::unique_ptr<struct ksba_cms_s, CmsRelease>;
using Cert = std::unique_ptr<struct ksba_cert_s, CertRelease>;
using KsbaText = std::unique_ptr<char, KsbaFree>;
using KsbaSexp = std::unique_ptr<unsigned char, KsbaFree>;
using Sexp = std::unique_ptr<struct gcry_sexp, SexpRelease>;
using Digest = std::unique_ptr<struct gcry_md_handle, DigestClose>;

void initialise() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (gcry_check_version(GCRYPT_VERSION) == nullptr) {
      raiseFailure(ErrorKind::kInitFailed, "libgcrypt is older than the provider was built for");
    }
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  });
}

// The library's own line for `error`, then the provider's.
[[noreturn]] void fail(gpg_error_t error, ErrorKind kind, const std::string& what) {
  noteError(std::string(gpg_strsource(error)) + ": " + gpg_strerror(error));
  raiseFailure(kind, what);
}

// The upper-case hex of a serial number in canonical S-expression form
// ("(<n>:<bytes>)"), without leading zero bytes.
std::string serialText(const unsigned char* serial) {
  if (serial == nullptr || *serial != '(') return "";
  std::size_t length = 0;
  const unsigned char* cursor = serial + 1;
  while (*cursor >= '0' && *cursor <= '9') length = length * 10 + (*cursor++ - '0');
  if (*cursor++ != ':') return "";
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < length; ++i) {
    if (text.empty() && cursor[i] == 0) continue;
    text += kDigits[cursor[i] >> 4];
    text += kDigits[cursor[i] & 0x0F];
  }
  return text.empty() ? "0" : text;
}

Sexp scanCanonical(const unsigned char* canonical, const char* what) {
  gcry_sexp_t sexp = nullptr;
  const std::size_t length = canonical != nullptr ? gcry_sexp_canon_len(canonical, 0, nullptr, nullptr) : 0;
  if (length == 0) raiseFailure(ErrorKind::kBadSignature, std::string("cannot read ") + what);
  if (const gcry_error_t error = gcry_sexp_sscan(&sexp, nullptr, reinterpret_cast<const char*>(canonical), length)) {
    fail(error, ErrorKind::kBadSignature, std::string("cannot read ") + what);
  }
  return Sexp(sexp);
}

struct SignerId {
  std::string issuer;
  std::string serial;
};

// The signer's certificate among those the message carries.
Cert findCertificate(ksba_cms_t cms, const SignerId& signer) {
  for (int i = 0;; ++i) {
    Cert cert(ksba_cms_get_cert(cms, i));
    if (cert == nullptr) return nullptr;
    KsbaText issuer(ksba_cert_get_issuer(cert.get(), 0));
    KsbaSexp serial(ksba_cert_get_serial(cert.get()));
    if (issuer != nullptr && signer.issuer == issuer.get() && signer.serial == serialText(serial.get())) return cert;
  }
}

void hashInto(void* digest, const void* data, std::size_t size) {
  gcry_md_write(static_cast<gcry_md_hd_t>(digest), data, size);
}

// Verifies one signer: its message digest attribute against the content's
// digest, and its signature over the signed attributes with its certificate.
void verifySigner(ksba_cms_t cms, int index, const SignerId& signer, const ContentDigests& content) {
  const std::string which = "signer " + std::to_string(index + 1);
  const char* digestOid = ksba_cms_get_digest_algo(cms, index);
  const std::string expected = digestOid != nullptr ? content.digest(digestOid) : "";
  if (expected.empty()) raiseFailure(ErrorKind::kBadSignature, which + " uses a digest algorithm the message does not list");
  const int algorithm = gcry_md_map_name(digestOid);

  char* recorded = nullptr;
  std::size_t recordedLength = 0;
  if (const gpg_error_t error = ksba_cms_get_message_digest(cms, index, &recorded, &recordedLength)) {
    fail(error, ErrorKind::kBadSignature, which + " records no message digest in signed attributes");
  }
  KsbaText recordedOwner(recorded);
  if (recorded == nullptr || expected != std::string(recorded, recordedLength)) {
    raiseFailure(ErrorKind::kBadSignature, which + ": the content does not match its message digest");
  }

  Cert cert = findCertificate(cms, signer);
  if (cert == nullptr) raiseFailure(ErrorKind::kBadSignature, "the message does not carry the certificate of " + which);

  gcry_md_hd_t opened = nullptr;
  if (const gcry_error_t error = gcry_md_open(&opened, algorithm, 0)) {
    fail(error, ErrorKind::kInternal, "cannot digest the signed attributes");
  }
  Digest attributes(opened);
  ksba_cms_set_hash_function(cms, hashInto, opened);
  if (const gpg_error_t error = ksba_cms_hash_signed_attrs(cms, index)) {
    fail(error, ErrorKind::kBadSignature, which + ": cannot digest the signed attributes");
  }
  const unsigned char* hash = gcry_md_read(opened, algorithm);
  const int hashLength = static_cast<int>(gcry_md_get_algo_dlen(algorithm));

  KsbaSexp signatureValue(ksba_cms_get_sig_val(cms, index));
  const Sexp signature = scanCanonical(signatureValue.get(), "the signature value");
  KsbaSexp publicKeyValue(ksba_cert_get_public_key(cert.get()));
  const Sexp publicKey = scanCanonical(publicKeyValue.get(), "the signer's public key");

  gcry_sexp_t data = nullptr;
  const Sexp rsa(gcry_sexp_find_token(publicKey.get(), "rsa", 0));
  const gcry_error_t built =
      rsa != nullptr ? gcry_sexp_build(&data, nullptr, "(data (flags pkcs1) (hash %s %b))",
                                       gcry_md_algo_name(algorithm), hashLength, hash)
                     : gcry_sexp_build(&data, nullptr, "(data (flags raw) (value %b))", hashLength, hash);
  if (built) fail(built, ErrorKind::kInternal, "cannot prepare the signature check");
  const Sexp dataOwner(data);
  if (const gcry_error_t error = gcry_pk_verify(signature.get(), data, publicKey.get())) {
    fail(error, ErrorKind::kBadSignature, which + ": the signature over the signed attributes does not verify");
  }
}

}  // namespace

struct ContentDigests::State {
  std::map<std::string, std::pair<int, Digest>> digests;  // by OID: algorithm, state
};

ContentDigests::ContentDigests(const std::vector<std::string>& algorithmOids) : state_(std::make_unique<State>()) {
  initialise();
  for (const std::string& oid : algorithmOids) {
    const int algorithm = gcry_md_map_name(oid.c_str());
    if (algorithm == 0 || state_->digests.count(oid) != 0) continue;
    gcry_md_hd_t digest = nullptr;
    if (const gcry_error_t error = gcry_md_open(&digest, algorithm, 0)) {
      fail(error, ErrorKind::kInternal, "cannot start a digest of the content");
    }
    state_->digests.emplace(oid, std::make_pair(algorithm, Digest(digest)));
  }
}

ContentDigests::~ContentDigests() = default;

void ContentDigests::update(const std::uint8_t* data, std::size_t size) {
  for (auto& entry : state_->digests) gcry_md_write(entry.second.second.get(), data, size);
}

std::string ContentDigests::digest(const std::string& algorithmOid) const {
  const auto found = state_->digests.find(algorithmOid);
  if (found == state_->digests.end()) return "";
  const int algorithm = found->second.first;
  gcry_md_hd_t copy = nullptr;
  if (const gcry_error_t error = gcry_md_copy(&copy, found->second.second.get())) {
    fail(error, ErrorKind::kInternal, "cannot finish a digest of the content");
  }
  const Digest owner(copy);
  return std::string(reinterpret_cast<const char*>(gcry_md_read(copy, algorithm)), gcry_md_get_algo_dlen(algorithm));
}

SignatureSummary checkDetachedMessage(const std::string& der, const ContentDigests* content) {
  initialise();
  ksba_reader_t rawReader = nullptr;
  if (const gpg_error_t error = ksba_reader_new(&rawReader)) fail(error, ErrorKind::kOutOfMemory, "cannot read the signature structure");
  const std::unique_ptr<struct ksba_reader_s, ReaderRelease> reader(rawReader);
  ksba_cms_t rawCms = nullptr;
  if (const gpg_error_t error = ksba_cms_new(&rawCms)) fail(error, ErrorKind::kOutOfMemory, "cannot read the signature structure");
  const Cms cms(rawCms);
  gpg_error_t error = ksba_reader_set_mem(rawReader, der.data(), der.size());
  if (!error) error = ksba_cms_set_reader_writer(rawCms, rawReader, nullptr);
  if (error) fail(error, ErrorKind::kInternal, "cannot read the signature structure");

  ksba_stop_reason_t stop = KSBA_SR_NONE;
  do {
    if (const gpg_error_t parsed = ksba_cms_parse(rawCms, &stop)) {
      fail(parsed, ErrorKind::kMalformed, "libksba does not accept the signature structure");
    }
    if (stop == KSBA_SR_BEGIN_DATA) raiseFailure(ErrorKind::kMalformed, "content inside a detached signature structure");
  } while (stop != KSBA_SR_READY);
  if (ksba_cms_get_content_type(rawCms, 0) != KSBA_CT_SIGNED_DATA) {
    raiseFailure(ErrorKind::kMalformed, "the structure is not SignedData");
  }

  SignatureSummary summary;
  if (const char* type = ksba_cms_get_content_oid(rawCms, 1); type != nullptr) summary.contentType = type;
  for (int index = 0;; ++index) {
    char* issuer = nullptr;
    ksba_sexp_t serial = nullptr;
    const gpg_error_t found = ksba_cms_get_issuer_serial(rawCms, index, &issuer, &serial);
    if (found == static_cast<gpg_error_t>(-1)) break;
    KsbaText issuerOwner(issuer);
    KsbaSexp serialOwner(serial);
    if (found) fail(found, ErrorKind::kMalformed, "libksba does not accept the signature structure");
    const SignerId signer{issuer != nullptr ? issuer : "", serialText(serial)};
    if (index == 0) summary.firstSigner = "issuer=" + signer.issuer + ", serial=" + signer.serial;
    ++summary.signerCount;
    if (content != nullptr) verifySigner(rawCms, index, signer, *content);
  }
  return summary;
}

}  // namespace vcert
