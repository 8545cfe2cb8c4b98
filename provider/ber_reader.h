// Reading BER (and so DER) framing from a byte source: element headers with
// definite or indefinite lengths, the ends of constructed elements, and the
// element contents, which can be kept, skipped or streamed piece by piece
// without holding them in memory. Malformed or truncated input throws
// ProviderFailure(kMalformed). Not thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "byte_source.h"

namespace vcert {

enum class TagClass : std::uint8_t { kUniversal = 0x00, kApplication = 0x40, kContext = 0x80, kPrivate = 0xC0 };

inline constexpr std::uint32_t kTagInteger = 2;
inline constexpr std::uint32_t kTagOctetString = 4;
inline constexpr std::uint32_t kTagObjectIdentifier = 6;
inline constexpr std::uint32_t kTagSequence = 16;
inline constexpr std::uint32_t kTagSet = 17;

struct BerHeader {
  TagClass tagClass = TagClass::kUniversal;
  bool constructed = false;
  std::uint32_t tagNumber = 0;
  bool indefinite = false;
  std::uint64_t length = 0;   // content bytes; only when !indefinite
  std::string identifier;     // the identifier octets as read
  std::string lengthOctets;   // the length octets as read

  bool is(TagClass cls, bool isConstructed, std::uint32_t number) const {
    return tagClass == cls && constructed == isConstructed && tagNumber == number;
  }
};

// The extent of a constructed element being read.
struct Container {
  bool indefinite = false;
  std::uint64_t end = 0;  // offset just past the contents, when definite
};

class BerReader {
 public:
  explicit BerReader(ByteSource& source, std::size_t bufferSize = 1 << 20);

  // Offset of the next byte from the start of the source.
  std::uint64_t offset() const { return consumed_ + position_; }

  BerHeader readHeader();
  Container enter(const BerHeader& header) const;
  // True at the end of the container's contents; consumes the end-of-contents
  // octets of an indefinite container.
  bool atEnd(const Container& container);
  // Requires atEnd(container).
  void expectEnd(const Container& container, const char* what);
  // Reads the next element header inside `container`; kMalformed when the
  // container has ended or the element would run past its end.
  BerHeader next(const Container& container, const char* what);

  void readContent(std::uint64_t length, std::string& out);  // appends
  void skip(std::uint64_t length);
  // Hands the next `length` bytes to `consume` piece by piece, as buffered.
  void forEachPiece(std::uint64_t length, const std::function<void(const std::uint8_t*, std::size_t)>& consume);

  [[noreturn]] void malformed(const std::string& what) const;

 private:
  std::uint8_t readByte();
  // Makes at least `count` bytes available; false when the input ends first.
  bool fill(std::size_t count);

  ByteSource& source_;
  std::vector<std::uint8_t> buffer_;
  std::size_t position_ = 0;
  std::size_t end_ = 0;
  std::uint64_t consumed_ = 0;  // source bytes before buffer_[0]
};

// Bounds the bytes of signature structure kept in memory.
class SizeBudget {
 public:
  explicit SizeBudget(std::uint64_t limit) : left_(limit) {}
  void take(std::uint64_t bytes);  // kStructureTooLarge when exhausted

 private:
  std::uint64_t left_;
};

// The whole element whose header has been read, as bytes with definite
// lengths: a definite-length element is kept exactly as read; an
// indefinite-length one is re-encoded with the length of its (likewise
// treated) contents.
std::string readDefiniteElement(BerReader& reader, const BerHeader& header, SizeBudget& budget, int depth = 0);

}  // namespace vcert
