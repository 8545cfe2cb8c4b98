// The [qnsys] values that bound the log file: "logmaxsize" (MiB at which the
// file is rotated, 0: never) and "logkeep" (how many old files are kept).
// Header-only and pure, so that the gateway's configuration check judges
// the values exactly as QnLogOpen does. Thread-safe.
#pragma once

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace qnsys {

inline constexpr unsigned kDefaultLogKeep = 5;
inline constexpr unsigned kMaxLogKeep = 1000;
inline constexpr int kMebibyteShift = 20;

struct LogRotation {
  std::uint64_t maxBytes = 0;  // 0: the file is never rotated
  unsigned keep = kDefaultLogKeep;
};

namespace rotation_detail {

// The value when it is wholly a decimal number (no sign, no unit).
template <typename Number>
std::optional<Number> wholeDecimal(std::string_view text) {
  Number value{};
  const char* end = text.data() + text.size();
  const auto [stop, problem] = std::from_chars(text.data(), end, value);
  if (text.empty() || problem != std::errc() || stop != end) return std::nullopt;
  return value;
}

}  // namespace rotation_detail

// "logmaxsize": the limit in bytes (0: no rotation), or nullopt for a value
// that is no whole number of MiB ("50MB", "1.5", "-1") or whose byte count
// does not fit.
inline std::optional<std::uint64_t> parseLogMaxSize(std::string_view text) {
  const auto mebibytes = rotation_detail::wholeDecimal<std::uint64_t>(text);
  if (!mebibytes || *mebibytes > (std::numeric_limits<std::uint64_t>::max() >> kMebibyteShift)) return std::nullopt;
  return *mebibytes << kMebibyteShift;
}

// "logkeep": 1 to kMaxLogKeep old files, or nullopt for anything else.
inline std::optional<unsigned> parseLogKeep(std::string_view text) {
  const auto keep = rotation_detail::wholeDecimal<unsigned>(text);
  if (!keep || *keep < 1 || *keep > kMaxLogKeep) return std::nullopt;
  return keep;
}

}  // namespace qnsys
