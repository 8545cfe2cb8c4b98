// The test signer on OpenSSL: CMS_sign in the forms signers write, and
// CMS_verify as the independent check.
#include "support/cms_fixture.h"

// pem.h first: cms.h declares its PEM functions only after it.
#include <openssl/pem.h>
// (keep the order)
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstdio>
#include <memory>

namespace cms_testing {

namespace {

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct CmsFree {
  void operator()(CMS_ContentInfo* cms) const { CMS_ContentInfo_free(cms); }
};
struct StoreFree {
  void operator()(X509_STORE* store) const { X509_STORE_free(store); }
};
using Bio = std::unique_ptr<BIO, BioFree>;

std::string openSslErrors() {
  std::string text;
  for (unsigned long error = ERR_get_error(); error != 0; error = ERR_get_error()) {
    char line[256];
    ERR_error_string_n(error, line, sizeof line);
    text += line;
    text += '\n';
  }
  return text.empty() ? "unknown OpenSSL failure" : text;
}

}  // namespace

struct TestSigner::Keys {
  EVP_PKEY* key = nullptr;
  X509* certificate = nullptr;
};

TestSigner::TestSigner(const std::string& directory)
    : keys_(new Keys), certificatePath_(directory + "/signer-cert.pem"), keyPath_(directory + "/signer-key.pem") {
  keys_->key = EVP_EC_gen("P-256");
  X509* certificate = X509_new();
  keys_->certificate = certificate;
  X509_set_version(certificate, X509_VERSION_3);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), 0x5157);
  X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate), 7 * 24 * 3600);
  X509_set_pubkey(certificate, keys_->key);
  X509_NAME* name = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Converter test signer"),
                             -1, -1, 0);
  X509_set_issuer_name(certificate, name);
  X509_sign(certificate, keys_->key, EVP_sha256());

  Bio certificateOut(BIO_new_file(certificatePath_.c_str(), "wb"));
  Bio keyOut(BIO_new_file(keyPath_.c_str(), "wb"));
  if (certificateOut == nullptr || keyOut == nullptr || !PEM_write_bio_X509(certificateOut.get(), certificate) ||
      !PEM_write_bio_PrivateKey(keyOut.get(), keys_->key, nullptr, nullptr, 0, nullptr, nullptr)) {
    std::fprintf(stderr, "cannot write the test signer: %s", openSslErrors().c_str());
  }
}

TestSigner::~TestSigner() {
  X509_free(keys_->certificate);
  EVP_PKEY_free(keys_->key);
  delete keys_;
}

bool TestSigner::sign(const std::string& contentPath, const std::string& signedPath, SignedForm form) const {
  Bio in(BIO_new_file(contentPath.c_str(), "rb"));
  Bio out(BIO_new_file(signedPath.c_str(), "wb"));
  if (in == nullptr || out == nullptr) return false;
  const bool streamed = form == SignedForm::kStreamedBer || form == SignedForm::kPem;
  int flags = CMS_BINARY;
  if (streamed) flags |= CMS_STREAM;
  if (form == SignedForm::kDetachedDer) flags |= CMS_DETACHED;
  std::unique_ptr<CMS_ContentInfo, CmsFree> cms(CMS_sign(keys_->certificate, keys_->key, nullptr, in.get(), flags));
  bool written = cms != nullptr;
  if (written && form == SignedForm::kStreamedBer) written = i2d_CMS_bio_stream(out.get(), cms.get(), in.get(), flags) == 1;
  if (written && form == SignedForm::kPem) written = PEM_write_bio_CMS_stream(out.get(), cms.get(), in.get(), flags) == 1;
  if (written && !streamed) written = i2d_CMS_bio(out.get(), cms.get()) == 1;
  if (written) written = BIO_flush(out.get()) == 1;
  if (!written) std::fprintf(stderr, "signing failed: %s", openSslErrors().c_str());
  return written;
}

std::string TestSigner::verify(const std::string& signedPath, const std::string* detachedContent,
                               const std::string& contentOut) const {
  ERR_clear_error();
  Bio in(BIO_new_file(signedPath.c_str(), "rb"));
  if (in == nullptr) return "cannot open " + signedPath;
  char first = 0;
  const bool pem = BIO_read(in.get(), &first, 1) == 1 && first == '-';
  BIO_reset(in.get());
  std::unique_ptr<CMS_ContentInfo, CmsFree> cms(pem ? PEM_read_bio_CMS(in.get(), nullptr, nullptr, nullptr)
                                                    : d2i_CMS_bio(in.get(), nullptr));
  if (cms == nullptr) return "not parsed: " + openSslErrors();
  std::unique_ptr<X509_STORE, StoreFree> store(X509_STORE_new());
  X509_STORE_add_cert(store.get(), keys_->certificate);
  Bio content(detachedContent != nullptr ? BIO_new_file(detachedContent->c_str(), "rb") : nullptr);
  Bio out(contentOut.empty() ? BIO_new(BIO_s_null()) : BIO_new_file(contentOut.c_str(), "wb"));
  if ((detachedContent != nullptr && content == nullptr) || out == nullptr) return "cannot open the content files";
  if (CMS_verify(cms.get(), nullptr, store.get(), content.get(), out.get(), CMS_BINARY) != 1) {
    return "verification failed: " + openSslErrors();
  }
  return "";
}

std::string TestSigner::verifyAttached(const std::string& signedPath, const std::string& contentOut) const {
  return verify(signedPath, nullptr, contentOut);
}

std::string TestSigner::verifyDetached(const std::string& signaturePath, const std::string& contentPath) const {
  return verify(signaturePath, &contentPath, "");
}

}  // namespace cms_testing
