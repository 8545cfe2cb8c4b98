// Internal to the base64 codec: the lookup tables and the fast-path kernel
// interface shared by base64.cc (portable kernels, selection, tolerant
// decoding) and base64_simd.cc (x86-64 vector kernels).
//
// The tables are compile-time constants; the kernels are pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Quillex::base64_internal {

inline constexpr std::size_t kLineBytes = 54;   // input bytes per line
inline constexpr std::size_t kLineChars = 72;   // characters per line, without "\n"
inline constexpr std::size_t kBlockChars = 32;  // characters per decode block
inline constexpr std::size_t kBlockBytes = 24;  // bytes per decode block
inline constexpr std::size_t kDecodeSlack = 16;  // scratch bytes decoders may write past their output

inline constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two characters for every 12-bit value: one lookup encodes half a group.
struct PairTable {
  char pairs[4096][2];
};

constexpr PairTable makePairTable() {
  PairTable table{};
  for (int i = 0; i < 4096; ++i) {
    table.pairs[i][0] = kAlphabet[i >> 6];
    table.pairs[i][1] = kAlphabet[i & 63];
  }
  return table;
}

inline constexpr PairTable kPairs = makePairTable();

// Decode tables. `shifted[k][c]` is the sextet of `c` moved to its place in a
// 24-bit group when `c` is the group's k-th character, or kNotAlphabet; OR-ing
// four entries gives the group's bytes and flags any bad character at once.
// `symbol[c]` drives the tolerant reader: a sextet, kPadSymbol or kSkipSymbol.
inline constexpr std::uint32_t kNotAlphabet = 0x01000000;
inline constexpr int kPadSymbol = 64;
inline constexpr int kSkipSymbol = -1;

struct DecodeTables {
  std::uint32_t shifted[4][256];
  std::int8_t symbol[256];
};

constexpr DecodeTables makeDecodeTables() {
  DecodeTables tables{};
  for (int c = 0; c < 256; ++c) {
    for (auto& row : tables.shifted) row[c] = kNotAlphabet;
    tables.symbol[c] = kSkipSymbol;
  }
  for (int value = 0; value < 64; ++value) {
    const auto c = static_cast<unsigned char>(kAlphabet[value]);
    const auto sextet = static_cast<std::uint32_t>(value);
    tables.shifted[0][c] = sextet << 18;
    tables.shifted[1][c] = sextet << 12;
    tables.shifted[2][c] = sextet << 6;
    tables.shifted[3][c] = sextet;
    tables.symbol[c] = static_cast<std::int8_t>(value);
  }
  tables.symbol[static_cast<unsigned char>('=')] = kPadSymbol;
  return tables;
}

inline constexpr DecodeTables kDecode = makeDecodeTables();

// Encodes the three bytes at `in` as four characters at `out`.
inline void encodeGroup(const unsigned char* in, char* out) {
  const unsigned bits = (unsigned{in[0]} << 16) | (unsigned{in[1]} << 8) | in[2];
  std::memcpy(out, kPairs.pairs[bits >> 12], 2);
  std::memcpy(out + 2, kPairs.pairs[bits & 0xfff], 2);
}

// Decodes `groups` groups of four alphabet characters; false (output partly
// written) when any character is not in the alphabet.
inline bool decodeGroups(const unsigned char* in, std::size_t groups, char* out) {
  std::uint32_t bad = 0;
  for (std::size_t g = 0; g < groups; ++g, in += 4, out += 3) {
    const std::uint32_t bits = kDecode.shifted[0][in[0]] | kDecode.shifted[1][in[1]] |
                               kDecode.shifted[2][in[2]] | kDecode.shifted[3][in[3]];
    out[0] = static_cast<char>(bits >> 16);
    out[1] = static_cast<char>(bits >> 8);
    out[2] = static_cast<char>(bits);
    bad |= bits;
  }
  return (bad & kNotAlphabet) == 0;
}

// The fast paths.
struct Kernels {
  // Encodes `lines` lines of kLineBytes bytes, each followed by "\n".
  void (*encodeLines)(const unsigned char* in, std::size_t lines, char* out);
  // Decodes consecutive clean lines (kLineChars alphabet characters, then
  // "\n"), at most `lines`, and returns how many. `in` holds at least `lines`
  // whole lines and "\n"s; `out` may receive kDecodeSlack scratch bytes.
  std::size_t (*decodeLines)(const unsigned char* in, std::size_t lines, char* out);
  // Decodes kBlockChars alphabet characters; false when any is not one.
  // `out` may receive kDecodeSlack scratch bytes.
  bool (*decodeBlock)(const unsigned char* in, char* out);
};

// Replace the members of `kernels` with vector versions and return true when
// the CPU has the instruction set; return false and change nothing otherwise.
// The AVX-512 variant replaces only the line encoder and decoder.
bool useAvx2Kernels(Kernels& kernels);
bool useAvx512Kernels(Kernels& kernels);

}  // namespace Quillex::base64_internal
