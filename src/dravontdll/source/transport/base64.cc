// Base64 encoding and tolerant decoding; the portable kernels and the choice
// of kernels for this CPU. The vector kernels are in base64_simd.cc.
#include "transport/base64.h"

#include <algorithm>
#include <atomic>

#include "transport/base64_kernels.h"

namespace Quillex {

using namespace base64_internal;

namespace {

std::atomic<Base64Kernels> gKernelLimit{Base64Kernels::kAvx512};

// How much output the codec zero-fills ahead of itself at a time.
constexpr std::size_t kStretchBytes = 8192;

void encodeLinesPortable(const unsigned char* in, std::size_t lines, char* out) {
  for (std::size_t line = 0; line < lines; ++line) {
    for (std::size_t g = 0; g < kLineBytes / 3; ++g) encodeGroup(in + 3 * g, out + 4 * g);
    out[kLineChars] = '\n';
    in += kLineBytes;
    out += kLineChars + 1;
  }
}

std::size_t decodeLinesPortable(const unsigned char* in, std::size_t lines, char* out) {
  std::size_t done = 0;
  for (; done < lines; ++done, in += kLineChars + 1, out += kLineBytes) {
    if (in[kLineChars] != '\n' || !decodeGroups(in, kLineChars / 4, out)) break;
  }
  return done;
}

bool decodeBlockPortable(const unsigned char* in, char* out) {
  return decodeGroups(in, kBlockChars / 4, out);
}

// The best kernels the CPU has, up to the limit; `tier` receives their tier.
Kernels selectKernels(Base64Kernels* tier = nullptr) {
  Kernels kernels{encodeLinesPortable, decodeLinesPortable, decodeBlockPortable};
  Base64Kernels chosen = Base64Kernels::kPortable;
  const Base64Kernels limit = gKernelLimit.load(std::memory_order_relaxed);
  if (limit >= Base64Kernels::kAvx2 && useAvx2Kernels(kernels)) {
    chosen = Base64Kernels::kAvx2;
    if (limit >= Base64Kernels::kAvx512 && useAvx512Kernels(kernels)) chosen = Base64Kernels::kAvx512;
  }
  if (tier != nullptr) *tier = chosen;
  return kernels;
}

// The tolerant reader: the next alphabet character's sextet or kPadSymbol,
// skipping every other byte; kSkipSymbol at the end of the text.
inline int nextSymbol(const unsigned char*& in, const unsigned char* end) {
  while (in < end) {
    const int symbol = kDecode.symbol[*in++];
    if (symbol != kSkipSymbol) return symbol;
  }
  return kSkipSymbol;
}

// Reads one group the tolerant way and writes its bytes; false once decoding
// ends (padding, or the end of the text).
bool decodeGroupTolerant(const unsigned char*& in, const unsigned char* end, char*& out) {
  const int a = nextSymbol(in, end);
  if (a == kSkipSymbol || a == kPadSymbol) return false;
  const int b = nextSymbol(in, end);
  if (b == kSkipSymbol || b == kPadSymbol) return false;
  const int c = nextSymbol(in, end);
  if (c == kSkipSymbol) return false;
  if (c == kPadSymbol) {
    *out++ = static_cast<char>((a << 2) | (b >> 4));
    return false;
  }
  const int d = nextSymbol(in, end);
  if (d == kSkipSymbol) return false;
  *out++ = static_cast<char>((a << 2) | (b >> 4));
  *out++ = static_cast<char>((b << 4) | (c >> 2));
  if (d == kPadSymbol) return false;
  *out++ = static_cast<char>((c << 6) | d);
  return true;
}

}  // namespace

std::size_t base64EncodedSize(std::size_t byteCount) {
  return 4 * ((byteCount + 2) / 3) + byteCount / kLineBytes;
}

void appendBase64(std::string& out, const void* data, std::size_t size) {
  // As in decodeBase64: reserve once, then extend the string one stretch of
  // lines at a time, so the zero-fill is still in cache when overwritten.
  out.reserve(out.size() + base64EncodedSize(size));
  const auto* in = static_cast<const unsigned char*>(data);
  const Kernels kernels = selectKernels();
  constexpr std::size_t kStretchLines = kStretchBytes / (kLineChars + 1);
  for (std::size_t lines = size / kLineBytes; lines > 0;) {
    const std::size_t stretch = std::min(lines, kStretchLines);
    const std::size_t start = out.size();
    out.resize(start + stretch * (kLineChars + 1));
    kernels.encodeLines(in, stretch, out.data() + start);
    in += stretch * kLineBytes;
    lines -= stretch;
  }

  // The last line: complete groups, then a padded partial group.
  std::size_t rest = size % kLineBytes;
  const std::size_t start = out.size();
  out.resize(start + 4 * ((rest + 2) / 3));
  char* dst = out.data() + start;
  for (; rest >= 3; rest -= 3, in += 3, dst += 4) encodeGroup(in, dst);
  if (rest > 0) {
    const unsigned bits = (unsigned{in[0]} << 16) | (rest == 2 ? unsigned{in[1]} << 8 : 0u);
    dst[0] = kAlphabet[bits >> 18];
    dst[1] = kAlphabet[(bits >> 12) & 63];
    dst[2] = rest == 2 ? kAlphabet[(bits >> 6) & 63] : '=';
    dst[3] = '=';
  }
}

void decodeBase64(std::string_view text, std::vector<char>& out) {
  // Every four characters read yield at most three bytes. The capacity is
  // reserved once; the output is then zero-filled a stretch at a time just
  // ahead of the decoder, so each stretch is still in cache when overwritten.
  const std::size_t bound = (text.size() + 3) / 4 * 3 + kDecodeSlack;
  out.clear();
  out.reserve(bound);
  std::size_t written = 0;
  const auto room = [&](std::size_t bytes) {
    if (out.size() < written + bytes) out.resize(std::min(bound, written + std::max(bytes, kStretchBytes)));
    return out.data() + written;
  };

  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const end = in + text.size();
  const Kernels kernels = selectKernels();
  for (;;) {
    const std::size_t wholeLines = static_cast<std::size_t>(end - in) / (kLineChars + 1);
    const std::size_t lines = std::min(wholeLines, kStretchBytes / kLineBytes);
    const std::size_t decoded = kernels.decodeLines(in, lines, room(lines * kLineBytes + kDecodeSlack));
    in += decoded * (kLineChars + 1);
    written += decoded * kLineBytes;
    if (decoded == lines && lines > 0) continue;

    if (static_cast<std::size_t>(end - in) >= kBlockChars && kernels.decodeBlock(in, room(kBlockBytes + kDecodeSlack))) {
      in += kBlockChars;
      written += kBlockBytes;
      continue;
    }
    // The fast paths refused the text here: one group the tolerant way.
    char* const groupStart = room(3);
    char* groupEnd = groupStart;
    const bool more = decodeGroupTolerant(in, end, groupEnd);
    written += static_cast<std::size_t>(groupEnd - groupStart);
    if (!more) break;
  }
  out.resize(written);
}

void limitBase64Kernels(Base64Kernels limit) { gKernelLimit.store(limit, std::memory_order_relaxed); }

Base64Kernels activeBase64Kernels() {
  Base64Kernels tier = Base64Kernels::kPortable;
  selectKernels(&tier);
  return tier;
}

}  // namespace Quillex
