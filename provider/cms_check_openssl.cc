#include "cms_check.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <map>
#include <memory>

#include "provider_failure.h"

namespace vcert {

namespace {

struct CmsFree {
  void operator()(CMS_ContentInfo* cms) const { CMS_ContentInfo_free(cms); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct BignumFree {
  void operator()(BIGNUM* number) const { BN_free(number); }
};
struct OpensslTextFree {
  void operator()(char* text) const { OPENSSL_free(text); }
};

std::string nameText(const X509_NAME* name) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
  if (bio == nullptr || X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253) < 0) return "";
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : "";
}

std::string hexText(const ASN1_STRING* bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  const unsigned char* data = ASN1_STRING_get0_data(bytes);
  for (int i = 0; i < ASN1_STRING_length(bytes); ++i) {
    text += kDigits[data[i] >> 4];
    text += kDigits[data[i] & 0x0F];
  }
  return text;
}

std::string serialText(const ASN1_INTEGER* serial) {
  std::unique_ptr<BIGNUM, BignumFree> number(ASN1_INTEGER_to_BN(serial, nullptr));
  if (number == nullptr) return "";
  std::unique_ptr<char, OpensslTextFree> hex(BN_bn2hex(number.get()));
  return hex != nullptr ? hex.get() : "";
}

std::string signerText(CMS_SignerInfo* signer) {
  ASN1_OCTET_STRING* keyId = nullptr;
  X509_NAME* issuer = nullptr;
  ASN1_INTEGER* serial = nullptr;
  if (CMS_SignerInfo_get0_signer_id(signer, &keyId, &issuer, &serial) != 1) return "";
  if (keyId != nullptr) return "keyid=" + hexText(keyId);
  return "issuer=" + nameText(issuer) + ", serial=" + serialText(serial);
}

struct DigestFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

std::string oidText(const ASN1_OBJECT* object) {
  char oid[128] = {};
  if (object != nullptr) OBJ_obj2txt(oid, sizeof oid, object, 1);
  return oid;
}

// Verifies one signer: its message digest attribute against the content's
// digest, and its signature over the signed attributes with its certificate.
void verifySigner(CMS_SignerInfo* signer, const ContentDigests& content, int index) {
  const std::string which = "signer " + std::to_string(index + 1);
  X509_ALGOR* digestAlgorithm = nullptr;
  X509* certificate = nullptr;
  CMS_SignerInfo_get0_algs(signer, nullptr, &certificate, &digestAlgorithm, nullptr);
  if (certificate == nullptr) raiseFailure(ErrorKind::kBadSignature, "the message does not carry the certificate of " + which);
  const ASN1_OBJECT* digestOid = nullptr;
  if (digestAlgorithm != nullptr) X509_ALGOR_get0(&digestOid, nullptr, nullptr, digestAlgorithm);
  const std::string expected = content.digest(oidText(digestOid));
  if (expected.empty()) raiseFailure(ErrorKind::kBadSignature, which + " uses a digest algorithm the message does not list");
  if (CMS_signed_get_attr_count(signer) < 0) raiseFailure(ErrorKind::kBadSignature, which + " has no signed attributes");
  const ASN1_OCTET_STRING* recorded = static_cast<const ASN1_OCTET_STRING*>(
      CMS_signed_get0_data_by_OBJ(signer, OBJ_nid2obj(NID_pkcs9_messageDigest), -3, V_ASN1_OCTET_STRING));
  if (recorded == nullptr) raiseFailure(ErrorKind::kBadSignature, which + " records no message digest");
  if (static_cast<std::size_t>(ASN1_STRING_length(recorded)) != expected.size() ||
      expected.compare(0, expected.size(), reinterpret_cast<const char*>(ASN1_STRING_get0_data(recorded)),
                       expected.size()) != 0) {
    raiseFailure(ErrorKind::kBadSignature, which + ": the content does not match its message digest");
  }
  if (CMS_SignerInfo_verify(signer) != 1) {
    raiseFailure(ErrorKind::kBadSignature, which + ": the signature over the signed attributes does not verify");
  }
}

}  // namespace

struct ContentDigests::State {
  std::map<std::string, std::unique_ptr<EVP_MD_CTX, DigestFree>> digests;
};

ContentDigests::ContentDigests(const std::vector<std::string>& algorithmOids) : state_(std::make_unique<State>()) {
  for (const std::string& oid : algorithmOids) {
    ASN1_OBJECT* object = OBJ_txt2obj(oid.c_str(), 1);
    const EVP_MD* type = object != nullptr ? EVP_get_digestbyobj(object) : nullptr;
    ASN1_OBJECT_free(object);
    if (type == nullptr || state_->digests.count(oid) != 0) continue;
    std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
    if (context == nullptr || EVP_DigestInit_ex(context.get(), type, nullptr) != 1) {
      raiseFailure(ErrorKind::kInternal, "cannot start a digest of the content");
    }
    state_->digests.emplace(oid, std::move(context));
  }
}

ContentDigests::~ContentDigests() = default;

void ContentDigests::update(const std::uint8_t* data, std::size_t size) {
  for (auto& [oid, context] : state_->digests) {
    if (EVP_DigestUpdate(context.get(), data, size) != 1) raiseFailure(ErrorKind::kInternal, "cannot digest the content");
  }
}

std::string ContentDigests::digest(const std::string& algorithmOid) const {
  const auto found = state_->digests.find(algorithmOid);
  if (found == state_->digests.end()) return "";
  std::unique_ptr<EVP_MD_CTX, DigestFree> copy(EVP_MD_CTX_new());
  unsigned char value[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (copy == nullptr || EVP_MD_CTX_copy_ex(copy.get(), found->second.get()) != 1 ||
      EVP_DigestFinal_ex(copy.get(), value, &size) != 1) {
    raiseFailure(ErrorKind::kInternal, "cannot finish a digest of the content");
  }
  return std::string(reinterpret_cast<const char*>(value), size);
}

SignatureSummary checkDetachedMessage(const std::string& der, const ContentDigests* content) {
  const auto* data = reinterpret_cast<const unsigned char*>(der.data());
  const unsigned char* cursor = data;
  std::unique_ptr<CMS_ContentInfo, CmsFree> cms(d2i_CMS_ContentInfo(nullptr, &cursor, static_cast<long>(der.size())));
  if (cms == nullptr) raiseFailure(ErrorKind::kMalformed, "OpenSSL does not accept the signature structure");
  if (cursor != data + der.size()) raiseFailure(ErrorKind::kMalformed, "bytes after the signature structure");
  if (OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed) {
    raiseFailure(ErrorKind::kMalformed, "the structure is not SignedData");
  }

  SignatureSummary summary;
  char oid[128] = {};
  if (const ASN1_OBJECT* type = CMS_get0_eContentType(cms.get()); type != nullptr) {
    OBJ_obj2txt(oid, sizeof oid, type, 1);
  }
  summary.contentType = oid;
  STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms.get());
  const int count = signers != nullptr ? sk_CMS_SignerInfo_num(signers) : 0;
  summary.signerCount = count > 0 ? static_cast<std::uint32_t>(count) : 0;
  if (count > 0) summary.firstSigner = signerText(sk_CMS_SignerInfo_value(signers, 0));
  if (content != nullptr) {
    // Each signer's certificate from those the message carries.
    CMS_set1_signers_certs(cms.get(), nullptr, 0);
    for (int i = 0; i < count; ++i) verifySigner(sk_CMS_SignerInfo_value(signers, i), *content, i);
  }
  return summary;
}

}  // namespace vcert
