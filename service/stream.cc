#include "stream.h"

#include <algorithm>

namespace dravont_service {

Stream::Stream(std::shared_ptr<ByteStore> store, StreamAccess access, std::string fileName, std::string mode,
               std::uint64_t start, std::optional<std::uint64_t> limit)
    : store_(std::move(store)),
      access_(access),
      fileName_(std::move(fileName)),
      mode_(std::move(mode)),
      start_(start),
      limit_(limit) {}

std::string Stream::length(std::uint64_t& bytes) const {
  std::uint64_t total = 0;
  bytes = 0;
  if (std::string error = store_->size(total); !error.empty()) return error;
  const std::uint64_t available = total > start_ ? total - start_ : 0;
  bytes = limit_ ? std::min(available, *limit_) : available;
  return "";
}

std::string Stream::rawRead(std::uint64_t position, std::size_t count, std::string& out) const {
  std::uint64_t size = 0;
  if (std::string error = length(size); !error.empty()) return error;
  if (position >= size) return "";
  const auto available = static_cast<std::size_t>(std::min<std::uint64_t>(size - position, count));
  return store_->readAt(start_ + position, available, out);
}

std::string Stream::read(std::size_t count, std::string& out) {
  out.clear();
  if (!access_.readable) return "The stream is not open for reading";
  count = std::min(count, kMaxReadSize);
  if (!access_.text) {
    std::string error = rawRead(position_, count, out);
    position_ += out.size();
    return error;
  }
  // Text mode: a CR directly before a LF is dropped. Read one byte ahead, so
  // a CR at the end of a chunk can be judged.
  while (out.size() < count) {
    std::string chunk;
    if (std::string error = rawRead(position_, count - out.size() + 1, chunk); !error.empty()) return error;
    if (chunk.empty()) break;
    std::size_t used = 0;
    while (used < chunk.size() && out.size() < count) {
      const char c = chunk[used];
      if (c == '\r' && used + 1 == chunk.size()) break;  // undecided: next round
      ++used;
      if (c == '\r' && chunk[used] == '\n') continue;
      out.push_back(c);
    }
    if (used == 0) {  // a lone CR at the very end
      out.push_back('\r');
      used = 1;
    }
    position_ += used;
  }
  return "";
}

std::string Stream::write(std::string_view bytes, std::size_t& written) {
  written = 0;
  if (!access_.writable) return "The stream is not open for writing";
  std::string translated;
  std::string_view raw = bytes;
  if (access_.text) {
    translated.reserve(bytes.size() + bytes.size() / 16);
    for (const char c : bytes) {
      if (c == '\n') translated.push_back('\r');
      translated.push_back(c);
    }
    raw = translated;
  }
  if (access_.append) {
    std::uint64_t size = 0;
    if (std::string error = length(size); !error.empty()) return error;
    position_ = size;
  }
  if (std::string error = store_->writeAt(start_ + position_, raw); !error.empty()) return error;
  position_ += raw.size();
  written = bytes.size();
  return "";
}

std::string Stream::seek(std::uint32_t offset, int origin, std::uint64_t& position) {
  position = position_;
  std::int64_t base = 0;
  std::int64_t delta = static_cast<std::int32_t>(offset);
  if (origin == 0) {
    delta = offset;
  } else if (origin == 1) {
    base = static_cast<std::int64_t>(position_);
  } else if (origin == 2) {
    std::uint64_t size = 0;
    if (std::string error = length(size); !error.empty()) return error;
    base = static_cast<std::int64_t>(size);
  } else {
    return "Unknown seek origin " + std::to_string(origin) + " (0 start, 1 current, 2 end)";
  }
  if (base + delta < 0) return "Can't seek before the start of the stream";
  position_ = static_cast<std::uint64_t>(base + delta);
  position = position_;
  return "";
}

std::string Stream::snapshot(std::string& out) const {
  out.clear();
  std::uint64_t size = 0;
  if (std::string error = length(size); !error.empty()) return error;
  if (position_ >= size) return "";
  if (size - position_ > kMaxMemoryStreamSize) return "The stream is too large to attach (more than 1 GiB)";
  return store_->readAt(start_ + position_, static_cast<std::size_t>(size - position_), out);
}

std::shared_ptr<Stream> Stream::substream(std::uint64_t start, std::optional<std::uint64_t> length) const {
  std::optional<std::uint64_t> limit = length;
  if (limit_) {
    const std::uint64_t available = *limit_ > start ? *limit_ - start : 0;
    limit = limit ? std::min(*limit, available) : available;
  }
  StreamAccess access;
  return std::make_shared<Stream>(store_, access, "", "substream", start_ + start, limit);
}

}  // namespace dravont_service
