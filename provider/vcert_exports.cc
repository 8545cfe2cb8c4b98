// The exported VCERT_ functions: argument checks, the conversion of failures
// into codes, and the memory the caller gets. Compiled once per provider
// build: PROVIDER_KIND (5 or 6) selects the function set; test builds define
// OMIT_<function> to leave one function out, or PROVIDER_INIT_FAILS to make
// VCERT_InitMinimal fail.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "file_conversions.h"
#include "provider_failure.h"
#include "vcert_api.h"

#if !defined(PROVIDER_KIND) || (PROVIDER_KIND != 5 && PROVIDER_KIND != 6)
#error "PROVIDER_KIND must be 5 or 6"
#endif

namespace {

using vcert::ErrorKind;

constexpr std::uint32_t kContextMagic = 0x56434552;  // "VCER"

struct ProviderContext {
  std::uint32_t magic = kContextMagic;
};

bool isContext(VcertContext context) {
  return context != nullptr && static_cast<ProviderContext*>(context)->magic == kContextMagic;
}

std::uint32_t codeOf(ErrorKind kind) { return vcert::errorCode(kind, PROVIDER_KIND); }

// Runs one operation: a fresh error queue, and every failure as a code.
template <typename Body>
std::uint32_t guarded(VcertContext context, Body body) {
  vcert::clearErrorLines();
  try {
    if (!isContext(context)) vcert::raiseFailure(ErrorKind::kInvalidArgument, "no crypto context");
    body();
    return 0;
  } catch (const vcert::ProviderFailure& failure) {
    return codeOf(failure.kind());
  } catch (const std::bad_alloc&) {
    vcert::noteError("out of memory");
    return codeOf(ErrorKind::kOutOfMemory);
  } catch (const std::exception& failure) {
    vcert::noteError(failure.what());
    return codeOf(ErrorKind::kInternal);
  }
}

void requirePaths(std::initializer_list<const char*> paths) {
  for (const char* path : paths) {
    if (path == nullptr || *path == '\0') vcert::raiseFailure(ErrorKind::kInvalidArgument, "empty file path");
  }
}

// A copy of `text` in memory the caller frees with VCERT_FreeMem; nullptr
// for an empty text.
char* providerText(const std::string& text) {
  if (text.empty()) return nullptr;
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy == nullptr) throw std::bad_alloc();
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

[[maybe_unused]] void setItem(VcertTextItem* item, const std::string& text) {
  item->text = providerText(text);
  item->length = item->text != nullptr ? static_cast<std::uint32_t>(text.size()) : 0;
}

// The 32-bit count of the records: never 0 while content bytes are embedded.
[[maybe_unused]] std::uint32_t embeddedCount(std::uint64_t bytes) { return bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(bytes); }

}  // namespace

#ifndef OMIT_VCERT_InitMinimal
VCERT_API std::uint32_t VCERT_InitMinimal(VcertContext* context) {
  vcert::clearErrorLines();
  if (context == nullptr) return codeOf(ErrorKind::kInvalidArgument);
#ifdef PROVIDER_INIT_FAILS
  *context = nullptr;
  vcert::noteError("this provider build refuses to initialise");
  return codeOf(ErrorKind::kInitFailed);
#else
  *context = new (std::nothrow) ProviderContext;
  return *context != nullptr ? 0 : codeOf(ErrorKind::kOutOfMemory);
#endif
}
#endif

#ifndef OMIT_VCERT_Uninitialize
VCERT_API std::uint32_t VCERT_Uninitialize(VcertContext context) {
  if (!isContext(context)) return codeOf(ErrorKind::kInvalidArgument);
  auto* owned = static_cast<ProviderContext*>(context);
  owned->magic = 0;
  delete owned;
  return 0;
}
#endif

#ifndef OMIT_VCERT_GetErrorText
VCERT_API std::uint32_t VCERT_GetErrorText(std::uint32_t code, char* buffer, std::uint32_t size) {
  if (buffer == nullptr || size == 0) return codeOf(ErrorKind::kInvalidArgument);
  const char* known = vcert::errorDescription(code);
  char unknown[64];
  if (known == nullptr) std::snprintf(unknown, sizeof unknown, "Unknown error 0x%08X", code);
  std::snprintf(buffer, size, "%s", known != nullptr ? known : unknown);
  return 0;
}
#endif

#ifndef OMIT_VCERT_GetErrorLineEx
VCERT_API std::uint32_t VCERT_GetErrorLineEx(VcertContext context, VcertTextItem* details, VcertTextItem* file,
                                             std::uint32_t* line, VcertTextItem* further) {
  // Error lines belong to the thread, not to a context: they must also
  // explain a VCERT_InitMinimal that produced no context.
  (void)context;
  if (details == nullptr || file == nullptr || line == nullptr || further == nullptr) {
    return codeOf(ErrorKind::kInvalidArgument);
  }
  vcert::ErrorLine next;
  if (!vcert::takeErrorLine(next)) return codeOf(ErrorKind::kNoMoreErrorLines);
  try {
    setItem(details, next.details);
    setItem(file, next.file);
    setItem(further, next.function);
    *line = next.line;
  } catch (const std::bad_alloc&) {
    for (VcertTextItem* item : {details, file, further}) {
      std::free(item->text);
      *item = VcertTextItem{};
    }
    return codeOf(ErrorKind::kOutOfMemory);
  }
  return 0;
}
#endif

#ifndef OMIT_VCERT_FreeMem
VCERT_API std::uint32_t VCERT_FreeMem(VcertContext, void* text) {
  std::free(text);
  return 0;
}
#endif

#if PROVIDER_KIND == 6

#ifndef OMIT_VCERT_CmsStrSignDetachFile
VCERT_API std::uint32_t VCERT_CmsStrSignDetachFile(VcertContext context, const char* signedPath,
                                                   const char* contentPath, const char* signaturePath,
                                                   std::uint32_t) {
  return guarded(context, [&] {
    requirePaths({signedPath, contentPath, signaturePath});
    vcert::detachSignedFile(signedPath, contentPath, signaturePath);
  });
}
#endif

#ifndef OMIT_VCERT_CmsBlkSignAttachFile
VCERT_API std::uint32_t VCERT_CmsBlkSignAttachFile(VcertContext context, const char* contentPath,
                                                   const char* signaturePath, const char* signedPath,
                                                   std::uint32_t) {
  return guarded(context, [&] {
    requirePaths({contentPath, signaturePath, signedPath});
    vcert::attachSignedFile(contentPath, signaturePath, signedPath);
  });
}
#endif

#ifndef OMIT_VCERT_CmsStrMsgInfFile
VCERT_API std::uint32_t VCERT_CmsStrMsgInfFile(VcertContext context, const char* path, VcertCmsMessageInfo* info,
                                               std::uint32_t) {
  return guarded(context, [&] {
    requirePaths({path});
    if (info == nullptr) vcert::raiseFailure(ErrorKind::kInvalidArgument, "no information record");
    const vcert::MessageFacts facts = vcert::inspectSignedFile(path);
    VcertCmsMessageInfo filled{};
    filled.signerCount = facts.signerCount;
    filled.isPem = facts.pem ? 1 : 0;
    filled.embeddedCount = embeddedCount(facts.contentLength);
    filled.contentPresent = facts.contentPresent ? 1 : 0;
    filled.embeddedBytes = facts.contentLength;
    filled.contentType = providerText(facts.contentType);
    try {
      filled.firstSigner = providerText(facts.firstSigner);
    } catch (...) {
      std::free(filled.contentType);
      throw;
    }
    *info = filled;
  });
}
#endif

#ifndef OMIT_VCERT_CmsFreeMsgInf
VCERT_API std::uint32_t VCERT_CmsFreeMsgInf(VcertContext, VcertCmsMessageInfo* info) {
  if (info == nullptr) return codeOf(ErrorKind::kInvalidArgument);
  std::free(info->contentType);
  std::free(info->firstSigner);
  *info = VcertCmsMessageInfo{};
  return 0;
}
#endif

#else  // PROVIDER_KIND == 5

#ifndef OMIT_VCERT_DetachSignFile
VCERT_API std::uint32_t VCERT_DetachSignFile(VcertContext context, const char* signedPath, const char* contentPath,
                                             const char* signaturePath) {
  return guarded(context, [&] {
    requirePaths({signedPath, contentPath, signaturePath});
    vcert::detachSignedFile(signedPath, contentPath, signaturePath);
  });
}
#endif

#ifndef OMIT_VCERT_AttachSignFile
VCERT_API std::uint32_t VCERT_AttachSignFile(VcertContext context, const char* contentPath,
                                             const char* signaturePath, const char* signedPath) {
  return guarded(context, [&] {
    requirePaths({contentPath, signaturePath, signedPath});
    vcert::attachSignedFile(contentPath, signaturePath, signedPath);
  });
}
#endif

#ifndef OMIT_VCERT_SignedInfoFile
VCERT_API std::uint32_t VCERT_SignedInfoFile(VcertContext context, const char* path, VcertSignedInfoResult* info) {
  return guarded(context, [&] {
    requirePaths({path});
    if (info == nullptr) vcert::raiseFailure(ErrorKind::kInvalidArgument, "no information record");
    const vcert::MessageFacts facts = vcert::inspectSignedFile(path);
    VcertSignedInfoResult filled{};
    filled.signerCount = facts.signerCount;
    filled.embeddedCount = embeddedCount(facts.contentLength);
    filled.firstSigner = providerText(facts.firstSigner);
    *info = filled;
  });
}
#endif

#ifndef OMIT_VCERT_FreeSignedInfoResult
VCERT_API std::uint32_t VCERT_FreeSignedInfoResult(VcertContext, VcertSignedInfoResult* info) {
  if (info == nullptr) return codeOf(ErrorKind::kInvalidArgument);
  std::free(info->firstSigner);
  *info = VcertSignedInfoResult{};
  return 0;
}
#endif

#endif  // PROVIDER_KIND
