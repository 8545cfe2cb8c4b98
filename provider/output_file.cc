#include "output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "byte_source.h"
#include "provider_failure.h"

namespace vcert {

namespace {

bool sameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(a, b, error) && !error;
}

}  // namespace

OutputFile::OutputFile(const std::string& path, std::initializer_list<const std::string*> inputs)
    : path_(path), partialPath_(path + ".partial") {
  for (const std::string* input : inputs) {
    if (sameFile(path, *input)) raiseFailure(ErrorKind::kSameFile, path + " is also " + *input);
  }
  file_ = std::fopen(partialPath_.c_str(), "wb");
  if (file_ == nullptr) raiseFailure(ErrorKind::kCannotOpen, "cannot create " + path + ": " + std::strerror(errno));
  std::setvbuf(file_, nullptr, _IONBF, 0);
  buffer_.resize(kBufferSize);
}

OutputFile::~OutputFile() {
  if (file_ != nullptr) std::fclose(file_);
  if (!kept_) std::remove(partialPath_.c_str());
}

void OutputFile::keep() {
  if (!finished_) raiseFailure(ErrorKind::kInternal, "output kept before it was finished");
  std::error_code error;
  std::filesystem::rename(partialPath_, path_, error);
  if (error) raiseFailure(ErrorKind::kWriteFailed, "cannot put " + path_ + " in place: " + error.message());
  kept_ = true;
}

void OutputFile::flushBuffer() {
  if (used_ == 0) return;
  if (std::fwrite(buffer_.data(), 1, used_, file_) != used_) {
    raiseFailure(ErrorKind::kWriteFailed, "cannot write " + path_ + ": " + std::strerror(errno));
  }
  used_ = 0;
}

void OutputFile::write(const std::uint8_t* data, std::size_t size) {
  // Large pieces go straight to the file: copying them first gains nothing.
  if (used_ + size > buffer_.size() || size >= kDirectWriteSize) flushBuffer();
  if (size >= kDirectWriteSize) {
    if (std::fwrite(data, 1, size, file_) != size) {
      raiseFailure(ErrorKind::kWriteFailed, "cannot write " + path_ + ": " + std::strerror(errno));
    }
    return;
  }
  std::memcpy(buffer_.data() + used_, data, size);
  used_ += size;
}

void OutputFile::finish() {
  flushBuffer();
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0) raiseFailure(ErrorKind::kWriteFailed, "cannot close " + path_ + ": " + std::strerror(errno));
  finished_ = true;
}

void copyWholeFile(FileSource& source, std::uint64_t count, OutputFile& out,
                   const std::function<void(const std::uint8_t*, std::size_t)>& observe) {
  std::vector<std::uint8_t> buffer(1 << 20);
  while (count > 0) {
    const std::size_t want = count < buffer.size() ? static_cast<std::size_t>(count) : buffer.size();
    const std::size_t got = source.read(buffer.data(), want);
    if (got == 0) raiseFailure(ErrorKind::kContentChanged, source.path() + " became shorter while it was read");
    if (observe) observe(buffer.data(), got);
    out.write(buffer.data(), got);
    count -= got;
  }
  std::uint8_t probe = 0;
  if (source.read(&probe, 1) != 0) raiseFailure(ErrorKind::kContentChanged, source.path() + " grew while it was read");
}

}  // namespace vcert
