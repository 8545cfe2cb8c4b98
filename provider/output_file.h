// A file the provider writes. The bytes go to a temporary sibling
// ("<path>.partial") through one large buffer; keep() renames it over the
// target, so a failed conversion never leaves a partial output behind and
// never destroys a file that was there before. Throws ProviderFailure
// (kCannotOpen, kWriteFailed, kSameFile). Not thread-safe.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "byte_source.h"

namespace vcert {

class OutputFile {
 public:
  // Refuses (kSameFile) a path that names the same file as one of `inputs`,
  // so that an output never truncates what is being read.
  OutputFile(const std::string& path, std::initializer_list<const std::string*> inputs);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(const std::uint8_t* data, std::size_t size);
  void write(std::string_view bytes) { write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()); }
  // Writes what is buffered and closes the file.
  void finish();
  // Puts the finished file in place of the target. Only after finish().
  void keep();

  const std::string& path() const { return path_; }

 private:
  static constexpr std::size_t kBufferSize = 1 << 20;
  static constexpr std::size_t kDirectWriteSize = 256 << 10;
  void flushBuffer();

  std::string path_;
  std::string partialPath_;
  std::FILE* file_ = nullptr;
  std::vector<std::uint8_t> buffer_;
  std::size_t used_ = 0;
  bool finished_ = false;
  bool kept_ = false;
};

// Copies exactly `count` bytes of a file to `out`; kContentChanged when the
// file ends earlier or holds more.
// `observe`, when given, sees every byte copied.
void copyWholeFile(FileSource& source, std::uint64_t count, OutputFile& out,
                   const std::function<void(const std::uint8_t*, std::size_t)>& observe = {});

}  // namespace vcert
