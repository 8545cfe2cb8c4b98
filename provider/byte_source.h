// Where the provider reads bytes from: a regular file, or the binary behind
// the base64 text of a PEM file. Sources throw ProviderFailure (kReadFailed
// for I/O errors, kMalformed for bad PEM text). Not thread-safe per object.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vcert {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `capacity` bytes into `buffer`; 0 only at the end of input.
  virtual std::size_t read(std::uint8_t* buffer, std::size_t capacity) = 0;
  // Skips `count` bytes; false when the input ends first.
  virtual bool skip(std::uint64_t count);
};

// A regular file opened for reading, of any size on every system. Its size
// is taken at opening.
class FileSource : public ByteSource {
 public:
  // Throws kCannotOpen when the path is not a readable regular file.
  explicit FileSource(const std::string& path);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  std::size_t read(std::uint8_t* buffer, std::size_t capacity) override;
  bool skip(std::uint64_t count) override;  // seeks

  const std::string& path() const { return path_; }
  std::uint64_t size() const { return size_; }
  // True iff the file's first bytes, after blanks and line ends, are
  // "-----BEGIN". Reads from the start; leaves the position at the start.
  bool startsAsPem();

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
};

// The decoded bytes of the first PEM block of a file: the "-----BEGIN" line
// is passed over, base64 text is decoded up to the "-----END" line.
class PemSource : public ByteSource {
 public:
  explicit PemSource(ByteSource& text) : text_(text), raw_(kRawChunk) {}
  std::size_t read(std::uint8_t* buffer, std::size_t capacity) override;

 private:
  static constexpr std::size_t kRawChunk = 64 * 1024;
  enum class State { kBeginLine, kBody, kPadding, kDone };
  bool nextChar(char& c);  // false at the end of the text
  [[noreturn]] void malformed(const char* what) const;

  ByteSource& text_;
  std::vector<std::uint8_t> raw_;
  std::size_t rawPosition_ = 0;
  std::size_t rawEnd_ = 0;
  std::uint64_t textOffset_ = 0;
  State state_ = State::kBeginLine;
  std::string beginLine_;
  std::uint32_t quantum_ = 0;  // bits of the base64 characters not yet decoded
  int quantumChars_ = 0;
  std::uint8_t pending_[3] = {};
  int pendingCount_ = 0;
  int pendingPosition_ = 0;
};

// A signed-message file: a FileSource, read through a PemSource when the
// file is PEM text.
struct SignedInput {
  explicit SignedInput(const std::string& path);
  ByteSource& bytes() { return pem ? static_cast<ByteSource&>(*pem) : file; }

  FileSource file;
  std::unique_ptr<PemSource> pem;
};

}  // namespace vcert
