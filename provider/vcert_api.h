// The crypto provider's exported interface, as libzpki1.so / zpki1.dll
// (kind 6) and libxpki1.so / xpki1.dll (kind 5) present it. Every function returns 0 for success or
// an error code (provider_failure.h); VCERT_GetErrorText describes a code and
// VCERT_GetErrorLineEx hands out the error lines of the calling thread's
// last failure. Texts and record members handed out belong to the provider
// and are freed with VCERT_FreeMem or the record's free function.
//
// File operations stream the content: memory use does not grow with the
// size of the files. Functions may be called from several threads; error
// lines are kept per thread.
#pragma once

#include <cstdint>

#define VCERT_API extern "C" __attribute__((visibility("default")))

using VcertContext = void*;

struct VcertTextItem {
  std::uint32_t length;  // bytes of text, 0 when none
  char* text;
};

// Signing information of kind 6 (48 bytes).
struct VcertCmsMessageInfo {
  std::uint32_t signerCount;
  std::uint32_t isPem;              // 1 when the file is PEM text
  std::uint32_t embeddedCount;      // content bytes embedded, at most 0xFFFFFFFF; 0: nothing to detach
  std::uint32_t contentPresent;     // 1 when the message carries content (possibly empty)
  std::uint64_t embeddedBytes;      // content bytes embedded, in full
  char* contentType;                // dotted OID of the content type
  char* firstSigner;                // issuer and serial (or key id) of the first signer
  std::uint64_t reserved;
};

// Signing information of kind 5 (16 bytes).
struct VcertSignedInfoResult {
  std::uint32_t signerCount;
  std::uint32_t embeddedCount;  // as in VcertCmsMessageInfo
  char* firstSigner;
};

static_assert(sizeof(VcertCmsMessageInfo) == 48 && __builtin_offsetof(VcertCmsMessageInfo, embeddedCount) == 8);
static_assert(sizeof(VcertSignedInfoResult) == 16 && __builtin_offsetof(VcertSignedInfoResult, embeddedCount) == 4);

// Common to both kinds.
VCERT_API std::uint32_t VCERT_InitMinimal(VcertContext* context);
VCERT_API std::uint32_t VCERT_Uninitialize(VcertContext context);
VCERT_API std::uint32_t VCERT_GetErrorText(std::uint32_t code, char* buffer, std::uint32_t size);
VCERT_API std::uint32_t VCERT_GetErrorLineEx(VcertContext context, VcertTextItem* details, VcertTextItem* file,
                                             std::uint32_t* line, VcertTextItem* further);
VCERT_API std::uint32_t VCERT_FreeMem(VcertContext context, void* text);

// Kind 6. Detach: signed file -> content, detached signature (DER).
// Attach: content, detached signature -> attached signed file (DER).
VCERT_API std::uint32_t VCERT_CmsStrSignDetachFile(VcertContext context, const char* signedPath,
                                                   const char* contentPath, const char* signaturePath,
                                                   std::uint32_t flags);
VCERT_API std::uint32_t VCERT_CmsBlkSignAttachFile(VcertContext context, const char* contentPath,
                                                   const char* signaturePath, const char* signedPath,
                                                   std::uint32_t flags);
VCERT_API std::uint32_t VCERT_CmsStrMsgInfFile(VcertContext context, const char* path, VcertCmsMessageInfo* info,
                                               std::uint32_t flags);
VCERT_API std::uint32_t VCERT_CmsFreeMsgInf(VcertContext context, VcertCmsMessageInfo* info);

// Kind 5: the same operations without flags.
VCERT_API std::uint32_t VCERT_DetachSignFile(VcertContext context, const char* signedPath, const char* contentPath,
                                             const char* signaturePath);
VCERT_API std::uint32_t VCERT_AttachSignFile(VcertContext context, const char* contentPath,
                                             const char* signaturePath, const char* signedPath);
VCERT_API std::uint32_t VCERT_SignedInfoFile(VcertContext context, const char* path, VcertSignedInfoResult* info);
VCERT_API std::uint32_t VCERT_FreeSignedInfoResult(VcertContext context, VcertSignedInfoResult* info);
