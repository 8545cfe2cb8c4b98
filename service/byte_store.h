// Where a stream's bytes live: an open file or a memory buffer. Streams and
// substreams share one store through a shared_ptr; the store lives as long
// as any of them. Functions return "" or an error text. Not synchronised:
// the context that owns the streams serialises their use.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/random_access_file.h"

namespace dravont_service {

class ByteStore {
 public:
  virtual ~ByteStore() = default;
  virtual std::string size(std::uint64_t& bytes) const = 0;
  // Appends up to `count` bytes from `offset` to `out` (fewer at the end).
  virtual std::string readAt(std::uint64_t offset, std::size_t count, std::string& out) = 0;
  virtual std::string writeAt(std::uint64_t offset, std::string_view bytes) = 0;
  // The file path, "" for memory.
  virtual const std::string& path() const = 0;
};

class FileBytes final : public ByteStore {
 public:
  FileBytes(std::string path, std::unique_ptr<platform::RandomAccessFile> file)
      : path_(std::move(path)), file_(std::move(file)) {}
  std::string size(std::uint64_t& bytes) const override;
  std::string readAt(std::uint64_t offset, std::size_t count, std::string& out) override;
  std::string writeAt(std::uint64_t offset, std::string_view bytes) override;
  const std::string& path() const override { return path_; }

 private:
  std::string path_;
  std::unique_ptr<platform::RandomAccessFile> file_;
};

class MemoryBytes final : public ByteStore {
 public:
  explicit MemoryBytes(std::string bytes) : bytes_(std::move(bytes)) {}
  std::string size(std::uint64_t& bytes) const override;
  std::string readAt(std::uint64_t offset, std::size_t count, std::string& out) override;
  std::string writeAt(std::uint64_t offset, std::string_view bytes) override;
  const std::string& path() const override;

 private:
  std::string bytes_;
};

// The largest buffer a stream grows to in memory (a stream of another kind
// is limited only by its file).
inline constexpr std::uint64_t kMaxMemoryStreamSize = 1ull << 30;

}  // namespace dravont_service
