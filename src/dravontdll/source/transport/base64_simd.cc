// x86-64 vector kernels for the base64 codec: AVX2 encoding and decoding, and
// AVX-512 (VBMI) line encoding and decoding. Each is compiled for its instruction set
// alone and chosen at run time only when the CPU reports it; elsewhere the
// portable kernels run.
#include "transport/base64_kernels.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QUILLEX_BASE64_X86 1
#endif

namespace Quillex::base64_internal {

#ifdef QUILLEX_BASE64_X86

namespace {

#define QUILLEX_AVX2 __attribute__((target("avx2")))
#define QUILLEX_AVX512 __attribute__((target("avx2,avx512f,avx512bw,avx512vbmi")))

// ---- AVX2 encoding ---------------------------------------------------------

// 24 bytes at `in` (reads exactly in[0..27]) to 32 characters at `out`.
QUILLEX_AVX2 inline void encodeBlockAvx2(const unsigned char* in, char* out) {
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 12));
  __m256i bytes = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);

  // Each group's bytes a, b, c become the 32-bit word b a c b; two multiplies
  // then move the four sextets into the four bytes of the word.
  const __m256i spread = _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10,
                                          1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
  bytes = _mm256_shuffle_epi8(bytes, spread);
  const __m256i first = _mm256_mulhi_epu16(_mm256_and_si256(bytes, _mm256_set1_epi32(0x0fc0fc00)),
                                           _mm256_set1_epi32(0x04000040));
  const __m256i second = _mm256_mullo_epi16(_mm256_and_si256(bytes, _mm256_set1_epi32(0x003f03f0)),
                                            _mm256_set1_epi32(0x01000010));
  const __m256i sextets = _mm256_or_si256(first, second);

  // Sextet to character: 0-25 add 'A', 26-51 add 'a'-26, 52-61 add '0'-52,
  // 62 gives '+', 63 gives '/'. The offset is looked up by a small class index.
  __m256i index = _mm256_subs_epu8(sextets, _mm256_set1_epi8(51));
  const __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), sextets);
  index = _mm256_or_si256(index, _mm256_and_si256(upper, _mm256_set1_epi8(13)));
  const __m256i offsets = _mm256_setr_epi8(
      'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
      '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0, 'a' - 26, '0' - 52, '0' - 52, '0' - 52,
      '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63,
      'A', 0, 0);
  const __m256i chars = _mm256_add_epi8(sextets, _mm256_shuffle_epi8(offsets, index));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), chars);
}

QUILLEX_AVX2 void encodeLinesAvx2(const unsigned char* in, std::size_t lines, char* out) {
  for (std::size_t line = 0; line < lines; ++line) {
    encodeBlockAvx2(in, out);
    encodeBlockAvx2(in + 24, out + 32);
    encodeGroup(in + 48, out + 64);
    encodeGroup(in + 51, out + 68);
    out[kLineChars] = '\n';
    in += kLineBytes;
    out += kLineChars + 1;
  }
}

// ---- AVX2 decoding ---------------------------------------------------------

// 32 characters at `in` to 24 bytes at `out`, storing 32 bytes (the last 8
// are scratch). Returns a vector that is non-zero iff a character is not in
// the alphabet; the output is then meaningless.
QUILLEX_AVX2 inline __m256i decodeBlockAvx2(const unsigned char* in, char* out) {
  const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
  const __m256i nibbleMask = _mm256_set1_epi8(0x0f);
  const __m256i high = _mm256_and_si256(_mm256_srli_epi32(c, 4), nibbleMask);
  const __m256i low = _mm256_and_si256(c, nibbleMask);

  // Validity: each high nibble has one class bit; `badLow[l]` holds the
  // classes for which low nibble l is not an alphabet character. Class 0x01:
  // "+" "/" row, 0x02: digits, 0x04: "A"-"O" and "a"-"o", 0x08: "P"-"Z" and
  // "p"-"z", 0x10: rows without any alphabet character.
  const __m256i badLow = _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13,
                                          0x1a, 0x1b, 0x1b, 0x1b, 0x1a, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11,
                                          0x11, 0x11, 0x11, 0x11, 0x13, 0x1a, 0x1b, 0x1b, 0x1b, 0x1a);
  const __m256i highClass = _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10,
                                             0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08,
                                             0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
  const __m256i bad = _mm256_and_si256(_mm256_shuffle_epi8(badLow, low), _mm256_shuffle_epi8(highClass, high));

  // Character to sextet: an offset per high nibble; "/" (0x2f) shares its
  // row with "+" and is told apart by stepping its index down by one.
  const __m256i offsets = _mm256_setr_epi8(0, 63 - '/', 62 - '+', 52 - '0', -'A', -'A', 26 - 'a', 26 - 'a', 0, 0,
                                           0, 0, 0, 0, 0, 0, 0, 63 - '/', 62 - '+', 52 - '0', -'A', -'A', 26 - 'a',
                                           26 - 'a', 0, 0, 0, 0, 0, 0, 0, 0);
  const __m256i slash = _mm256_cmpeq_epi8(c, _mm256_set1_epi8('/'));
  const __m256i sextets = _mm256_add_epi8(c, _mm256_shuffle_epi8(offsets, _mm256_add_epi8(high, slash)));

  // Pairs of sextets to 12 bits, pairs of those to the 24 bits of a group,
  // then the three bytes of each group in order and the groups contiguous.
  __m256i packed = _mm256_maddubs_epi16(sextets, _mm256_set1_epi32(0x01400140));
  packed = _mm256_madd_epi16(packed, _mm256_set1_epi32(0x00011000));
  packed = _mm256_shuffle_epi8(packed, _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,
                                                        2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
  packed = _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), packed);
  return bad;
}

// A line is covered by three blocks, stored in order; the last overlaps the
// second by eight characters and rewrites the same six bytes.
QUILLEX_AVX2 std::size_t decodeLinesAvx2(const unsigned char* in, std::size_t lines, char* out) {
  std::size_t done = 0;
  for (; done < lines; ++done, in += kLineChars + 1, out += kLineBytes) {
    if (in[kLineChars] != '\n') break;
    // Separate statements: each block's scratch bytes must be overwritten
    // by the next block's store.
    __m256i bad = decodeBlockAvx2(in, out);
    bad = _mm256_or_si256(bad, decodeBlockAvx2(in + 32, out + 24));
    bad = _mm256_or_si256(bad, decodeBlockAvx2(in + 40, out + 30));
    if (!_mm256_testz_si256(bad, bad)) break;
  }
  return done;
}

QUILLEX_AVX2 bool decodeSingleBlockAvx2(const unsigned char* in, char* out) {
  const __m256i bad = decodeBlockAvx2(in, out);
  return _mm256_testz_si256(bad, bad);
}

// ---- AVX-512 encoding and decoding ----------------------------------------

struct Avx512Tables {
  // Sextet of each ASCII character; 0x80 for characters outside the alphabet.
  unsigned char sextet[128];
  // Decoding, byte order of the packed output: byte j of 16 groups comes from
  // byte 2 - j % 3 of 32-bit word j / 3.
  unsigned char packOrder[64];
  // Encoding: group g's bytes a, b, c become the 32-bit word b a c b ...
  unsigned char spreadOrder[64];
  // ... from which these bit offsets (per 64-bit word) pick the sextets.
  unsigned char sextetShift[64];
  char alphabet[64];
};

constexpr Avx512Tables makeAvx512Tables() {
  Avx512Tables tables{};
  for (int c = 0; c < 128; ++c) {
    const int symbol = kDecode.symbol[c];
    tables.sextet[c] = static_cast<unsigned char>(symbol >= 0 && symbol < 64 ? symbol : 0x80);
  }
  for (int j = 0; j < 48; ++j) tables.packOrder[j] = static_cast<unsigned char>(4 * (j / 3) + 2 - j % 3);
  constexpr unsigned char kSpread[4] = {1, 0, 2, 1};
  constexpr unsigned char kShift[8] = {10, 4, 22, 16, 42, 36, 54, 48};
  for (int j = 0; j < 64; ++j) {
    tables.spreadOrder[j] = static_cast<unsigned char>(3 * (j / 4) + kSpread[j % 4]);
    tables.sextetShift[j] = kShift[j % 8];
    tables.alphabet[j] = kAlphabet[j];
  }
  return tables;
}

alignas(64) constexpr Avx512Tables kAvx512 = makeAvx512Tables();

// The zero-masking forms throughout: GCC 12 warns about the plain forms'
// undefined pass-through operand.
constexpr __mmask64 kAll = ~__mmask64{0};

// Up to 48 bytes (those selected by `load`) to four thirds as many characters.
QUILLEX_AVX512 inline __m512i encodeBlockAvx512(const unsigned char* in, __mmask64 load, __m512i spreadOrder,
                                                __m512i sextetShift, __m512i alphabet) {
  const __m512i bytes = _mm512_maskz_loadu_epi8(load, in);
  const __m512i spread = _mm512_maskz_permutexvar_epi8(kAll, spreadOrder, bytes);
  // Each result byte holds its sextet in the low six bits, which are all the
  // alphabet permute looks at.
  const __m512i sextets = _mm512_maskz_multishift_epi64_epi8(kAll, sextetShift, spread);
  return _mm512_maskz_permutexvar_epi8(kAll, sextets, alphabet);
}

QUILLEX_AVX512 void encodeLinesAvx512(const unsigned char* in, std::size_t lines, char* out) {
  const __m512i spreadOrder = _mm512_load_si512(kAvx512.spreadOrder);
  const __m512i sextetShift = _mm512_load_si512(kAvx512.sextetShift);
  const __m512i alphabet = _mm512_load_si512(kAvx512.alphabet);
  constexpr __mmask64 kHeadBytes = (__mmask64{1} << 48) - 1;  // 48 bytes give 64 characters
  constexpr __mmask64 kTailBytes = 0x3f;                      // 6 bytes give 8 characters
  for (std::size_t line = 0; line < lines; ++line, in += kLineBytes, out += kLineChars + 1) {
    _mm512_storeu_si512(out, encodeBlockAvx512(in, kHeadBytes, spreadOrder, sextetShift, alphabet));
    const __m512i tail = encodeBlockAvx512(in + 48, kTailBytes, spreadOrder, sextetShift, alphabet);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 64), _mm512_maskz_extracti32x4_epi32(0xf, tail, 0));
    out[kLineChars] = '\n';
  }
}

// The sextets of the 64 characters in `c` packed into 48 bytes (the low
// three quarters of the result); `bad` receives the characters that are not
// in the alphabet.
QUILLEX_AVX512 inline __m512i decodeBlockAvx512(__m512i c, __mmask64& bad, __m512i sextetLow, __m512i sextetHigh,
                                                __m512i packOrder) {
  // Indexes use the low seven bits; bytes of 0x80 and above are caught by
  // their own top bit.
  const __m512i sextets = _mm512_permutex2var_epi8(sextetLow, c, sextetHigh);
  bad = _mm512_movepi8_mask(_mm512_or_si512(c, sextets));

  __m512i packed = _mm512_maddubs_epi16(sextets, _mm512_set1_epi32(0x01400140));
  packed = _mm512_madd_epi16(packed, _mm512_set1_epi32(0x00011000));
  return _mm512_maskz_permutexvar_epi8(kAll, packOrder, packed);
}

// A line is 64 characters and 8 more. Plain (not masked) loads and stores:
// the stores write 10 scratch bytes past the line's 54, overwritten by the
// next line or left in the slack.
QUILLEX_AVX512 std::size_t decodeLinesAvx512(const unsigned char* in, std::size_t lines, char* out) {
  const __m512i sextetLow = _mm512_load_si512(kAvx512.sextet);
  const __m512i sextetHigh = _mm512_load_si512(kAvx512.sextet + 64);
  const __m512i packOrder = _mm512_load_si512(kAvx512.packOrder);

  std::size_t done = 0;
  for (; done < lines; ++done, in += kLineChars + 1, out += kLineBytes) {
    if (in[kLineChars] != '\n') break;
    __mmask64 badHead = 0;
    __mmask64 badTail = 0;
    const __m512i head = decodeBlockAvx512(_mm512_loadu_si512(in), badHead, sextetLow, sextetHigh, packOrder);
    const __m512i tail =
        decodeBlockAvx512(_mm512_zextsi128_si512(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + 64))),
                          badTail, sextetLow, sextetHigh, packOrder);
    _mm512_storeu_si512(out, head);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 48), _mm512_maskz_extracti32x4_epi32(0xf, tail, 0));
    if ((badHead | (badTail & 0xff)) != 0) break;
  }
  return done;
}

}  // namespace

bool useAvx2Kernels(Kernels& kernels) {
  static const bool supported = __builtin_cpu_supports("avx2");
  if (!supported) return false;
  kernels = {encodeLinesAvx2, decodeLinesAvx2, decodeSingleBlockAvx2};
  return true;
}

bool useAvx512Kernels(Kernels& kernels) {
  static const bool supported = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
                                __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
  if (!supported) return false;
  kernels.encodeLines = encodeLinesAvx512;
  kernels.decodeLines = decodeLinesAvx512;
  return true;
}

#else  // no vector kernels for this target

bool useAvx2Kernels(Kernels&) { return false; }
bool useAvx512Kernels(Kernels&) { return false; }

#endif

}  // namespace Quillex::base64_internal
