#include "provider_failure.h"

#include <cstring>

namespace vcert {

namespace {

struct CodeText {
  ErrorKind kind;
  std::uint32_t code;
  const char* text;
};

// Codes shared by both kinds; "not a signed message" differs per kind.
constexpr CodeText kCodes[] = {
    {ErrorKind::kInvalidArgument, 0xE0700001, "Invalid argument"},
    {ErrorKind::kCannotOpen, 0xE0700002, "Cannot open the file"},
    {ErrorKind::kReadFailed, 0xE0700003, "Cannot read the file"},
    {ErrorKind::kWriteFailed, 0xE0700004, "Cannot write the file"},
    {ErrorKind::kMalformed, 0xE0700005, "The signed message is malformed"},
    {ErrorKind::kStructureTooLarge, 0xE0700006, "The signature structure is too large"},
    {ErrorKind::kNoEmbeddedContent, 0xE0700007, "The signed message carries no content to detach"},
    {ErrorKind::kAlreadyAttached, 0xE0700008, "The signature already carries content"},
    {ErrorKind::kContentChanged, 0xE0700009, "The content file changed while it was read"},
    {ErrorKind::kSameFile, 0xE070000A, "An output file is the same as an input file"},
    {ErrorKind::kOutOfMemory, 0xE070000B, "Out of memory"},
    {ErrorKind::kInitFailed, 0xE070000C, "The crypto context cannot be initialised"},
    {ErrorKind::kNoMoreErrorLines, 0xE070000D, "No more error lines"},
    {ErrorKind::kInternal, 0xE070000E, "Internal error of the crypto provider"},
    {ErrorKind::kBadSignature, 0xE0700010, "The signature does not verify over the content"},
};

constexpr std::uint32_t kNotSignedMessage6 = 0xE070000F;
constexpr std::uint32_t kNotSignedMessage5 = 0xE070001A;
constexpr const char* kNotSignedMessageText = "The file is not a CMS signed message";

}  // namespace

void raiseFailure(ErrorKind kind, const std::string& detail, std::source_location where) {
  noteError(detail, where);
  throw ProviderFailure(kind);
}

std::uint32_t errorCode(ErrorKind kind, int providerKind) {
  if (kind == ErrorKind::kNotSignedMessage) return providerKind == 5 ? kNotSignedMessage5 : kNotSignedMessage6;
  for (const CodeText& entry : kCodes) {
    if (entry.kind == kind) return entry.code;
  }
  return errorCode(ErrorKind::kInternal, providerKind);
}

const char* errorDescription(std::uint32_t code) {
  if (code == kNotSignedMessage5 || code == kNotSignedMessage6) return kNotSignedMessageText;
  for (const CodeText& entry : kCodes) {
    if (entry.code == code) return entry.text;
  }
  return nullptr;
}

}  // namespace vcert
