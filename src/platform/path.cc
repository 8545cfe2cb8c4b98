#include "platform/path.h"

#include "platform/path_parts.h"

namespace platform {

PathParts resolvedParts(std::string_view rest, char separator, bool rooted) {
  PathParts parts;
  for (std::size_t pos = 0; pos <= rest.size();) {
    std::size_t next = rest.find(separator, pos);
    if (next == std::string_view::npos) next = rest.size();
    const std::string_view part = rest.substr(pos, next - pos);
    pos = next + 1;
    if (part.empty() || part == ".") continue;
    if (part != "..") {
      parts.names.push_back(part);
    } else if (!parts.names.empty()) {
      parts.names.pop_back();
    } else if (!rooted) {
      ++parts.leadingUps;
    }
  }
  return parts;
}

std::string joinedParts(std::string root, const PathParts& parts, char separator) {
  std::string result = std::move(root);
  bool first = true;
  const auto append = [&](std::string_view part) {
    if (!first) result.push_back(separator);
    first = false;
    result.append(part);
  };
  for (std::size_t i = 0; i < parts.leadingUps; ++i) append("..");
  for (const std::string_view name : parts.names) append(name);
  return result;
}

std::string stemName(std::string_view path) {
  std::string name = baseName(path);
  if (const std::size_t dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

std::optional<std::string> absolutePath(std::string_view path) {
  if (!isRelativePath(path)) return canonicalizePath(path);
  const std::optional<std::string> current = currentDirectory();
  if (!current) return std::nullopt;
  return canonicalizePath(joinPath(*current, path));
}

}  // namespace platform
