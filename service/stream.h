// A service stream: a window onto a byte store with its own position, as the
// stream RPC methods see it. File streams, buffer streams and substreams are
// all this one class over different stores and windows. Text mode (modes
// with "t") writes "\n" as CR LF and reads CR LF back as "\n". Functions
// return "" or an error text; outputs hold what was done before an error.
// Not synchronised: the owning context serialises use.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "byte_store.h"

namespace dravont_service {

struct StreamAccess {
  bool readable = true;
  bool writable = false;
  bool text = false;
  bool append = false;  // every write goes to the end
};

class Stream {
 public:
  // A window of `store` from `start`, `limit` bytes long (nullopt: to the
  // store's end, however it grows).
  Stream(std::shared_ptr<ByteStore> store, StreamAccess access, std::string fileName, std::string mode,
         std::uint64_t start = 0, std::optional<std::uint64_t> limit = std::nullopt);

  // Reads up to `count` bytes at the position into `out` and moves past them.
  std::string read(std::size_t count, std::string& out);
  // Writes at the position (or the end) and moves past; `written` counts the
  // caller's bytes.
  std::string write(std::string_view bytes, std::size_t& written);
  std::string length(std::uint64_t& bytes) const;
  std::uint64_t tell() const { return position_; }
  // origin 0: from the start, 1: from the position, 2: from the end. The
  // offset is unsigned from the start and signed otherwise. `position` gets
  // the new position.
  std::string seek(std::uint32_t offset, int origin, std::uint64_t& position);
  // The bytes from the position to the end, position unchanged (raw, without
  // text translation): what an attachment takes from its stream.
  std::string snapshot(std::string& out) const;
  // A read-only stream over this one's bytes from `start` (relative to the
  // window), `length` long or to the end.
  std::shared_ptr<Stream> substream(std::uint64_t start, std::optional<std::uint64_t> length) const;

  const std::string& fileName() const { return fileName_; }
  void setFileName(std::string name) { fileName_ = std::move(name); }
  const std::string& path() const { return store_->path(); }
  const std::string& mode() const { return mode_; }
  const StreamAccess& access() const { return access_; }

  // Refuses reads beyond this many bytes per call, so one request cannot
  // make the service allocate without bound.
  static constexpr std::size_t kMaxReadSize = 64u << 20;

 private:
  std::string rawRead(std::uint64_t position, std::size_t count, std::string& out) const;

  std::shared_ptr<ByteStore> store_;
  StreamAccess access_;
  std::string fileName_;
  std::string mode_;
  std::uint64_t start_;
  std::optional<std::uint64_t> limit_;
  std::uint64_t position_ = 0;
};

}  // namespace dravont_service
