// The crypto provider's functions as the converter calls them. Each returns
// a 32-bit code, 0 for success. The provider library is loaded at run time;
// these types describe its exports, nothing here is linked.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dravontaux64 {

using VcertContext = void*;

// A text handed out by VCERT_GetErrorLineEx; freed with VCERT_FreeMem.
struct VcertTextItem {
  std::uint32_t length;
  char* text;
};

using VcertInitMinimal = std::uint32_t (*)(VcertContext* context);
using VcertGetErrorText = std::uint32_t (*)(std::uint32_t code, char* buffer, std::uint32_t size);
using VcertGetErrorLineEx = std::uint32_t (*)(VcertContext context, VcertTextItem* details, VcertTextItem* file,
                                              std::uint32_t* line, VcertTextItem* further);
using VcertFreeMem = std::uint32_t (*)(VcertContext context, void* text);
using VcertUninitialize = std::uint32_t (*)(VcertContext context);
// Kind 6 file operations carry a trailing flags argument (always 0).
using VcertFileOperation6 = std::uint32_t (*)(VcertContext context, const char* path1, const char* path2,
                                              const char* path3, std::uint32_t flags);
using VcertFileOperation5 = std::uint32_t (*)(VcertContext context, const char* path1, const char* path2,
                                              const char* path3);
using VcertMessageInfo6 = std::uint32_t (*)(VcertContext context, const char* path, void* record, std::uint32_t flags);
using VcertSignedInfo5 = std::uint32_t (*)(VcertContext context, const char* path, void* record);
using VcertFreeRecord = std::uint32_t (*)(VcertContext context, void* record);

enum class ProviderKind : int { kNone = 0, kFive = 5, kSix = 6 };

// Signing-information records: their sizes, and where the 32-bit count of
// embedded content bytes sits (0 means nothing to detach).
inline constexpr std::size_t kMessageInfoRecordSize6 = 48;
inline constexpr std::size_t kMessageInfoCountOffset6 = 8;
inline constexpr std::size_t kSignedInfoRecordSize5 = 16;
inline constexpr std::size_t kSignedInfoCountOffset5 = 4;

// The code with which each kind answers "not a signed message at all".
inline constexpr std::uint32_t kNotSignedMessage6 = 0xE070000F;
inline constexpr std::uint32_t kNotSignedMessage5 = 0xE070001A;

// Size of the buffer handed to VCERT_GetErrorText.
inline constexpr std::uint32_t kErrorTextBufferSize = 1024;

// The provider's function addresses. Those of the other kind stay null.
struct ProviderFunctions {
  VcertInitMinimal initMinimal = nullptr;
  VcertGetErrorText getErrorText = nullptr;
  VcertGetErrorLineEx getErrorLineEx = nullptr;
  VcertUninitialize uninitialize = nullptr;
  VcertFreeMem freeMem = nullptr;
  // Kind 6.
  VcertFileOperation6 cmsStrSignDetachFile = nullptr;
  VcertFileOperation6 cmsBlkSignAttachFile = nullptr;
  VcertMessageInfo6 cmsStrMsgInfFile = nullptr;
  VcertFreeRecord cmsFreeMsgInf = nullptr;
  // Kind 5.
  VcertFileOperation5 detachSignFile = nullptr;
  VcertFileOperation5 attachSignFile = nullptr;
  VcertSignedInfo5 signedInfoFile = nullptr;
  VcertFreeRecord freeSignedInfoResult = nullptr;
};

}  // namespace dravontaux64
