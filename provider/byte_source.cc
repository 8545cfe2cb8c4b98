#include "byte_source.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/stream_position.h"
#include "provider_failure.h"

namespace vcert {

bool ByteSource::skip(std::uint64_t count) {
  std::uint8_t scratch[4096];
  while (count > 0) {
    const std::size_t got = read(scratch, count < sizeof scratch ? static_cast<std::size_t>(count) : sizeof scratch);
    if (got == 0) return false;
    count -= got;
  }
  return true;
}

FileSource::FileSource(const std::string& path) : path_(path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    raiseFailure(ErrorKind::kCannotOpen, "cannot open " + path + ": " + (error ? error.message() : "not a regular file"));
  }
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) raiseFailure(ErrorKind::kCannotOpen, "cannot open " + path + ": " + std::strerror(errno));
  // The provider's own buffers are large; stdio's would only add a copy.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  if (const int failure = platform::streamFileSize(file_, size_)) {
    std::fclose(file_);
    raiseFailure(ErrorKind::kCannotOpen, "cannot size " + path + ": " + std::strerror(failure));
  }
}

FileSource::~FileSource() { std::fclose(file_); }

std::size_t FileSource::read(std::uint8_t* buffer, std::size_t capacity) {
  const std::size_t got = std::fread(buffer, 1, capacity, file_);
  if (got == 0 && std::ferror(file_)) {
    raiseFailure(ErrorKind::kReadFailed, "cannot read " + path_ + ": " + std::strerror(errno));
  }
  position_ += got;
  return got;
}

bool FileSource::skip(std::uint64_t count) {
  if (count > size_ - std::min(position_, size_)) return false;
  position_ += count;
  if (const int failure = platform::seekStream(file_, position_)) {
    raiseFailure(ErrorKind::kReadFailed, "cannot seek in " + path_ + ": " + std::strerror(failure));
  }
  return true;
}

bool FileSource::startsAsPem() {
  static constexpr char kBegin[] = "-----BEGIN";
  std::uint8_t head[256];
  const std::size_t got = read(head, sizeof head);
  std::rewind(file_);
  position_ = 0;
  std::size_t start = 0;
  while (start < got && (head[start] == ' ' || head[start] == '\t' || head[start] == '\r' || head[start] == '\n')) {
    ++start;
  }
  return got - start >= sizeof kBegin - 1 && std::memcmp(head + start, kBegin, sizeof kBegin - 1) == 0;
}

namespace {

// The 6-bit value of a base64 character, or -1.
int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool PemSource::nextChar(char& c) {
  if (rawPosition_ == rawEnd_) {
    rawEnd_ = text_.read(raw_.data(), raw_.size());
    rawPosition_ = 0;
    if (rawEnd_ == 0) return false;
  }
  c = static_cast<char>(raw_[rawPosition_++]);
  ++textOffset_;
  return true;
}

void PemSource::malformed(const char* what) const {
  raiseFailure(ErrorKind::kMalformed, std::string("PEM text: ") + what + " at offset " + std::to_string(textOffset_));
}

std::size_t PemSource::read(std::uint8_t* buffer, std::size_t capacity) {
  std::size_t produced = 0;
  while (produced < capacity) {
    if (pendingPosition_ < pendingCount_) {
      buffer[produced++] = pending_[pendingPosition_++];
      continue;
    }
    if (state_ == State::kDone) break;
    char c = 0;
    if (!nextChar(c)) {
      // Hand out what was decoded; the next read reports the broken text.
      if (produced > 0) break;
      malformed("missing \"-----END\" line");
    }
    switch (state_) {
      case State::kBeginLine:
        if (c == '\n') {
          if (beginLine_.find("-----BEGIN") != std::string::npos) {
            state_ = State::kBody;
          } else if (beginLine_.find_first_not_of(" \t\r") != std::string::npos) {
            malformed("missing \"-----BEGIN\" line");
          }
          beginLine_.clear();
        } else if (beginLine_.size() < 256) {
          beginLine_ += c;
        }
        break;
      case State::kBody:
      case State::kPadding: {
        if (isBlank(c)) break;
        if (c == '-') {
          if (quantumChars_ == 1) malformed("incomplete base64 group");
          // The bytes of a final group of two or three characters.
          const std::uint32_t bits = quantum_ << (6 * (4 - quantumChars_));
          pendingCount_ = quantumChars_ == 0 ? 0 : quantumChars_ - 1;
          for (int i = 0; i < pendingCount_; ++i) pending_[i] = static_cast<std::uint8_t>(bits >> (16 - 8 * i));
          pendingPosition_ = 0;
          state_ = State::kDone;
          break;
        }
        if (c == '=') {
          if (quantumChars_ < 2) malformed("misplaced '='");
          state_ = State::kPadding;
          break;
        }
        const int value = base64Value(c);
        if (value < 0 || state_ == State::kPadding) malformed("invalid base64 character");
        quantum_ = (quantum_ << 6) | static_cast<std::uint32_t>(value);
        if (++quantumChars_ == 4) {
          pending_[0] = static_cast<std::uint8_t>(quantum_ >> 16);
          pending_[1] = static_cast<std::uint8_t>(quantum_ >> 8);
          pending_[2] = static_cast<std::uint8_t>(quantum_);
          pendingCount_ = 3;
          pendingPosition_ = 0;
          quantum_ = 0;
          quantumChars_ = 0;
        }
        break;
      }
      case State::kDone:
        break;
    }
  }
  return produced;
}

SignedInput::SignedInput(const std::string& path) : file(path) {
  if (file.startsAsPem()) pem = std::make_unique<PemSource>(file);
}

}  // namespace vcert
