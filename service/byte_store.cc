#include "byte_store.h"

#include <system_error>

namespace dravont_service {

namespace {

std::string fileError(const std::string& action, const std::string& path, int error) {
  return "Can't " + action + " file \"" + path + "\": " + std::generic_category().message(error);
}

}  // namespace

std::string FileBytes::size(std::uint64_t& bytes) const {
  bytes = 0;
  if (int error = file_->size(bytes)) return fileError("get the size of", path_, error);
  return "";
}

std::string FileBytes::readAt(std::uint64_t offset, std::size_t count, std::string& out) {
  const std::size_t start = out.size();
  out.resize(start + count);
  std::size_t got = 0;
  const int error = file_->readAt(offset, out.data() + start, count, got);
  out.resize(start + got);
  if (error) return fileError("read", path_, error);
  return "";
}

std::string FileBytes::writeAt(std::uint64_t offset, std::string_view bytes) {
  if (int error = file_->writeAt(offset, bytes)) return fileError("write", path_, error);
  return "";
}

std::string MemoryBytes::size(std::uint64_t& bytes) const {
  bytes = bytes_.size();
  return "";
}

std::string MemoryBytes::readAt(std::uint64_t offset, std::size_t count, std::string& out) {
  if (offset >= bytes_.size()) return "";
  out.append(bytes_, static_cast<std::size_t>(offset), count);
  return "";
}

std::string MemoryBytes::writeAt(std::uint64_t offset, std::string_view bytes) {
  if (offset + bytes.size() > kMaxMemoryStreamSize) return "A buffer stream cannot grow beyond 1 GiB";
  const auto end = static_cast<std::size_t>(offset + bytes.size());
  if (end > bytes_.size()) bytes_.resize(end, '\0');
  bytes_.replace(static_cast<std::size_t>(offset), bytes.size(), bytes);
  return "";
}

const std::string& MemoryBytes::path() const {
  static const std::string kNoPath;
  return kNoPath;
}

}  // namespace dravont_service
