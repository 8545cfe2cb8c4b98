// How the provider fails: a ProviderFailure carrying an error kind, thrown
// after a line that explains it has been put on the calling thread's error
// queue (where the crypto back end's own lines, if any, precede it). The
// exported functions turn the kind into a code; the queue is read back line
// by line. The queue is OpenSSL's own in the OpenSSL build
// (error_lines_openssl.cc) and the provider's in the libgcrypt build
// (error_lines_gcrypt.cc).
#pragma once

#include <cstdint>
#include <exception>
#include <source_location>
#include <string>

namespace vcert {

enum class ErrorKind {
  kInvalidArgument,
  kCannotOpen,
  kReadFailed,
  kWriteFailed,
  kMalformed,
  kStructureTooLarge,
  kNoEmbeddedContent,
  kAlreadyAttached,
  kContentChanged,
  kSameFile,
  kOutOfMemory,
  kInitFailed,
  kNoMoreErrorLines,
  kInternal,
  kBadSignature,
  kNotSignedMessage,  // its code depends on the provider kind
};

class ProviderFailure : public std::exception {
 public:
  explicit ProviderFailure(ErrorKind kind) : kind_(kind) {}
  ErrorKind kind() const { return kind_; }
  const char* what() const noexcept override { return "crypto provider failure"; }

 private:
  ErrorKind kind_;
};

// Puts `detail` on the error queue, naming the source position of the caller.
void noteError(const std::string& detail, std::source_location where = std::source_location::current());

// noteError, then throws ProviderFailure(kind).
[[noreturn]] void raiseFailure(ErrorKind kind, const std::string& detail,
                               std::source_location where = std::source_location::current());

// The exported code of a kind for provider kind 5 or 6.
std::uint32_t errorCode(ErrorKind kind, int providerKind);

// The description of an exported code; nullptr for a code the provider does
// not know.
const char* errorDescription(std::uint32_t code);

// One line of the calling thread's error queue, oldest first.
struct ErrorLine {
  std::string details;
  std::string file;
  std::uint32_t line = 0;
  std::string function;
};

// Takes the oldest line off the queue; false when it is empty.
bool takeErrorLine(ErrorLine& line);

// Empties the calling thread's error queue.
void clearErrorLines();

}  // namespace vcert
