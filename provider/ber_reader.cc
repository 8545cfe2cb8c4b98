#include "ber_reader.h"

#include <cstring>

#include "der_encoding.h"
#include "provider_failure.h"

namespace vcert {

namespace {

constexpr int kMaxNesting = 64;
constexpr int kMaxTagNumberOctets = 4;
constexpr std::size_t kMaxLengthOctets = 8;

}  // namespace

BerReader::BerReader(ByteSource& source, std::size_t bufferSize) : source_(source), buffer_(bufferSize) {}

void BerReader::malformed(const std::string& what) const {
  raiseFailure(ErrorKind::kMalformed, what + " at offset " + std::to_string(offset()));
}

bool BerReader::fill(std::size_t count) {
  if (end_ - position_ >= count) return true;
  if (position_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + position_, end_ - position_);
    consumed_ += position_;
    end_ -= position_;
    position_ = 0;
  }
  while (end_ < count) {
    const std::size_t got = source_.read(buffer_.data() + end_, buffer_.size() - end_);
    if (got == 0) return false;
    end_ += got;
  }
  return true;
}

std::uint8_t BerReader::readByte() {
  if (position_ == end_ && !fill(1)) malformed("unexpected end of input");
  return buffer_[position_++];
}

BerHeader BerReader::readHeader() {
  BerHeader header;
  const std::uint8_t first = readByte();
  header.identifier.assign(1, static_cast<char>(first));
  header.tagClass = static_cast<TagClass>(first & 0xC0);
  header.constructed = (first & 0x20) != 0;
  header.tagNumber = first & 0x1F;
  if (header.tagNumber == 0x1F) {
    header.tagNumber = 0;
    for (int octets = 1;; ++octets) {
      if (octets > kMaxTagNumberOctets) malformed("tag number too large");
      const std::uint8_t next = readByte();
      header.identifier += static_cast<char>(next);
      header.tagNumber = (header.tagNumber << 7) | (next & 0x7F);
      if ((next & 0x80) == 0) break;
    }
  }

  const std::uint8_t lengthByte = readByte();
  header.lengthOctets.assign(1, static_cast<char>(lengthByte));
  if (lengthByte < 0x80) {
    header.length = lengthByte;
  } else if (lengthByte == 0x80) {
    if (!header.constructed) malformed("indefinite length of a primitive element");
    header.indefinite = true;
  } else {
    const std::size_t count = lengthByte & 0x7F;
    if (count > kMaxLengthOctets) malformed("length too large");
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t next = readByte();
      header.lengthOctets += static_cast<char>(next);
      header.length = (header.length << 8) | next;
    }
  }
  return header;
}

Container BerReader::enter(const BerHeader& header) const {
  return Container{header.indefinite, header.indefinite ? 0 : offset() + header.length};
}

bool BerReader::atEnd(const Container& container) {
  if (container.indefinite) {
    if (!fill(2)) malformed("missing end-of-contents octets");
    if (buffer_[position_] != 0 || buffer_[position_ + 1] != 0) return false;
    position_ += 2;
    return true;
  }
  if (offset() > container.end) malformed("element runs past its enclosing element");
  return offset() == container.end;
}

void BerReader::expectEnd(const Container& container, const char* what) {
  if (!atEnd(container)) malformed(std::string("unexpected element after ") + what);
}

BerHeader BerReader::next(const Container& container, const char* what) {
  if (atEnd(container)) malformed(std::string("missing ") + what);
  BerHeader header = readHeader();
  if (!container.indefinite && !header.indefinite && header.length > container.end - offset()) {
    malformed(std::string(what) + " runs past its enclosing element");
  }
  return header;
}

void BerReader::readContent(std::uint64_t length, std::string& out) {
  while (length > 0) {
    if (position_ == end_ && !fill(1)) malformed("unexpected end of input");
    const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(end_ - position_, length));
    out.append(reinterpret_cast<const char*>(buffer_.data() + position_), chunk);
    position_ += chunk;
    length -= chunk;
  }
}

void BerReader::skip(std::uint64_t length) {
  const std::size_t buffered = end_ - position_;
  if (length <= buffered) {
    position_ += static_cast<std::size_t>(length);
    return;
  }
  const std::uint64_t start = offset();
  consumed_ += end_;
  position_ = end_ = 0;
  if (!source_.skip(length - buffered)) {
    raiseFailure(ErrorKind::kMalformed, "unexpected end of input within the " + std::to_string(length) +
                                            " bytes from offset " + std::to_string(start));
  }
  consumed_ += length - buffered;
}

void BerReader::forEachPiece(std::uint64_t length,
                             const std::function<void(const std::uint8_t*, std::size_t)>& consume) {
  while (length > 0) {
    if (position_ == end_ && !fill(1)) malformed("unexpected end of input");
    const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(end_ - position_, length));
    consume(buffer_.data() + position_, chunk);
    position_ += chunk;
    length -= chunk;
  }
}

void SizeBudget::take(std::uint64_t bytes) {
  if (bytes > left_) raiseFailure(ErrorKind::kStructureTooLarge, "the signature structure exceeds its size limit");
  left_ -= bytes;
}

std::string readDefiniteElement(BerReader& reader, const BerHeader& header, SizeBudget& budget, int depth) {
  if (depth > kMaxNesting) reader.malformed("elements nested too deeply");
  budget.take(header.identifier.size() + header.lengthOctets.size() + header.length);
  std::string element = header.identifier;
  if (!header.indefinite) {
    element += header.lengthOctets;
    reader.readContent(header.length, element);
    return element;
  }
  const Container container = reader.enter(header);
  std::string contents;
  while (!reader.atEnd(container)) {
    const BerHeader child = reader.next(container, "element");
    contents += readDefiniteElement(reader, child, budget, depth + 1);
  }
  element += derLength(contents.size());
  element += contents;
  return element;
}

}  // namespace vcert
