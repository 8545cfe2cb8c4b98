#include "cms_check.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

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

}  // namespace

SignatureSummary checkDetachedMessage(const std::string& der) {
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
  return summary;
}

}  // namespace vcert
