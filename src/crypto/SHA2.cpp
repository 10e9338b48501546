// SPDX-License-Identifier: GPL-3.0-or-later
#include "crypto/SHA2.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if (defined(__SSE2__) || defined(_M_X64)) && !defined(KV_SHA512_PORTABLE)
#include <emmintrin.h>
#endif

// The block function comes in three builds: portable C++, SSE2 (every x86-64), and SSE2 compiled
// for BMI2 and AVX, chosen at run time. The tests build each one with KV_SHA512_PORTABLE or
// KV_SHA512_NO_DISPATCH, whatever the machine they run on.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(KV_SHA512_PORTABLE) &&                    \
    !defined(KV_SHA512_NO_DISPATCH)
#define KV_SHA512_DISPATCH 1
#else
#define KV_SHA512_DISPATCH 0
#endif

#if defined(__GNUC__)
#define KV_ALWAYS_INLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define KV_ALWAYS_INLINE __forceinline
#else
#define KV_ALWAYS_INLINE inline
#endif

namespace {

// FIPS 180-4 section 5.3.5: the SHA-512 initial hash value.
constexpr uint64_t InitialHash[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                                     0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                                     0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};

// FIPS 180-4 section 4.2.3: the 80 SHA-512 round constants.
constexpr uint64_t K[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc,
    0x3956c25bf348b538, 0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118,
    0xd807aa98a3030242, 0x12835b0145706fbe, 0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2,
    0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235, 0xc19bf174cf692694,
    0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5,
    0x983e5152ee66dfab, 0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4,
    0xc6e00bf33da88fc2, 0xd5a79147930aa725, 0x06ca6351e003826f, 0x142929670a0e6e70,
    0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed, 0x53380d139d95b3df,
    0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30,
    0xd192e819d6ef5218, 0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8,
    0x19a4c116b8d2d0c8, 0x1e376c085141ab53, 0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8,
    0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373, 0x682e6ff3d6b2b8a3,
    0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b,
    0xca273eceea26619c, 0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178,
    0x06f067aa72176fba, 0x0a637dc5a2c898a6, 0x113f9804bef90dae, 0x1b710b35131c471b,
    0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc, 0x431d67c49c100d4c,
    0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817};

uint64_t LoadBigEndian64(const uint8_t *p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i)
    v = (v << 8) | p[i];
  return v;
}

void StoreBigEndian64(uint8_t *p, uint64_t v) {
  for (int i = 7; i >= 0; --i, v >>= 8)
    p[i] = uint8_t(v);
}

// FIPS 180-4 section 4.1.3.
inline uint64_t BigSigma0(uint64_t x) {
  return std::rotr(x, 28) ^ std::rotr(x, 34) ^ std::rotr(x, 39);
}
inline uint64_t BigSigma1(uint64_t x) {
  return std::rotr(x, 14) ^ std::rotr(x, 18) ^ std::rotr(x, 41);
}
inline uint64_t Ch(uint64_t x, uint64_t y, uint64_t z) {
  return z ^ (x & (y ^ z));
}

// One step of FIPS 180-4 section 6.4.2, with W[t] + K[t] taken from the schedule. Instead of
// shifting the eight working variables, the caller rotates their roles, so no value moves between
// registers. Maj(a, b, c) = b ^ ((a ^ b) & (b ^ c)), and a ^ b is the next step's b ^ c.
#define SHA512_ROUND(a, b, c, d, e, f, g, h, t)                                                    \
  do {                                                                                             \
    (h) += WK[t] + Ch(e, f, g) + BigSigma1(e);                                                     \
    (d) += (h);                                                                                    \
    const uint64_t ab = (a) ^ (b);                                                                 \
    (h) += BigSigma0(a) + ((b) ^ (ab & bc));                                                       \
    bc = ab;                                                                                       \
  } while (0)

// Eight steps, after each two of which SCHEDULE_PAIR(p) may prepare the words of a later pair.
#define SHA512_EIGHT_ROUNDS(group, SCHEDULE_PAIR)                                                  \
  do {                                                                                             \
    SHA512_ROUND(a, b, c, d, e, f, g, h, 8 * (group) + 0);                                         \
    SHA512_ROUND(h, a, b, c, d, e, f, g, 8 * (group) + 1);                                         \
    SCHEDULE_PAIR(4 * (group) + 0);                                                                \
    SHA512_ROUND(g, h, a, b, c, d, e, f, 8 * (group) + 2);                                         \
    SHA512_ROUND(f, g, h, a, b, c, d, e, 8 * (group) + 3);                                         \
    SCHEDULE_PAIR(4 * (group) + 1);                                                                \
    SHA512_ROUND(e, f, g, h, a, b, c, d, 8 * (group) + 4);                                         \
    SHA512_ROUND(d, e, f, g, h, a, b, c, 8 * (group) + 5);                                         \
    SCHEDULE_PAIR(4 * (group) + 2);                                                                \
    SHA512_ROUND(c, d, e, f, g, h, a, b, 8 * (group) + 6);                                         \
    SHA512_ROUND(b, c, d, e, f, g, h, a, 8 * (group) + 7);                                         \
    SCHEDULE_PAIR(4 * (group) + 3);                                                                \
  } while (0)

#define SHA512_NO_SCHEDULE(pair) ((void)0)

#if (defined(__SSE2__) || defined(_M_X64)) && !defined(KV_SHA512_PORTABLE)

// The message schedule runs two words at a time in SSE2 registers, interleaved with the rounds
// that it is 16 steps ahead of, so it fills execution slots the rounds leave idle.
inline __m128i RotateRight2(__m128i x, int n) {
  return _mm_or_si128(_mm_srli_epi64(x, n), _mm_slli_epi64(x, 64 - n));
}
// The high word of x, then the low word of y: a pair that straddles two registers.
inline __m128i Straddle(__m128i x, __m128i y) {
  return _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(x), _mm_castsi128_pd(y), 1));
}

// X[p & 7] holds W[2p], W[2p + 1]; the step for pair p replaces it with pair p + 8.
#define SHA512_SCHEDULE_PAIR(p)                                                                    \
  do {                                                                                             \
    const __m128i w2 = X[((p) + 7) & 7];                                                           \
    const __m128i w7 = Straddle(X[((p) + 4) & 7], X[((p) + 5) & 7]);                               \
    const __m128i w15 = Straddle(X[(p)&7], X[((p) + 1) & 7]);                                      \
    const __m128i s1 = _mm_xor_si128(_mm_xor_si128(RotateRight2(w2, 19), RotateRight2(w2, 61)),    \
                                     _mm_srli_epi64(w2, 6));                                       \
    const __m128i s0 = _mm_xor_si128(_mm_xor_si128(RotateRight2(w15, 1), RotateRight2(w15, 8)),    \
                                     _mm_srli_epi64(w15, 7));                                      \
    X[(p)&7] = _mm_add_epi64(_mm_add_epi64(s1, w7), _mm_add_epi64(s0, X[(p)&7]));                  \
    StorePairPlusK(WK, X[(p)&7], 2 * (p) + 16);                                                    \
  } while (0)

inline void StorePairPlusK(uint64_t *WK, __m128i pair, int t) {
  const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i *>(K + t));
  _mm_storeu_si128(reinterpret_cast<__m128i *>(WK + t), _mm_add_epi64(pair, k));
}

// Always inlined, so that each caller below compiles it for its own instruction set.
KV_ALWAYS_INLINE void CompressBlock(const uint8_t *block, uint64_t *hash, uint64_t *WK) {
  __m128i X[8];
  for (int p = 0; p < 8; ++p) {
    const uint8_t *const pair = block + 16 * std::size_t(p);
    X[p] = _mm_set_epi64x(static_cast<long long>(LoadBigEndian64(pair + 8)),
                          static_cast<long long>(LoadBigEndian64(pair)));
    StorePairPlusK(WK, X[p], 2 * p);
  }
  uint64_t a = hash[0], b = hash[1], c = hash[2], d = hash[3];
  uint64_t e = hash[4], f = hash[5], g = hash[6], h = hash[7];
  uint64_t bc = b ^ c;
  // Written out, so that every index into X is a constant and X lives in registers.
  SHA512_EIGHT_ROUNDS(0, SHA512_SCHEDULE_PAIR);
  SHA512_EIGHT_ROUNDS(1, SHA512_SCHEDULE_PAIR);
  SHA512_EIGHT_ROUNDS(2, SHA512_SCHEDULE_PAIR);
  SHA512_EIGHT_ROUNDS(3, SHA512_SCHEDULE_PAIR);
  SHA512_EIGHT_ROUNDS(4, SHA512_SCHEDULE_PAIR);
  SHA512_EIGHT_ROUNDS(5, SHA512_SCHEDULE_PAIR);
  SHA512_EIGHT_ROUNDS(6, SHA512_SCHEDULE_PAIR);
  SHA512_EIGHT_ROUNDS(7, SHA512_SCHEDULE_PAIR);
  SHA512_EIGHT_ROUNDS(8, SHA512_NO_SCHEDULE);
  SHA512_EIGHT_ROUNDS(9, SHA512_NO_SCHEDULE);
  hash[0] += a, hash[1] += b, hash[2] += c, hash[3] += d;
  hash[4] += e, hash[5] += f, hash[6] += g, hash[7] += h;
}

#undef SHA512_SCHEDULE_PAIR

#else

// FIPS 180-4 section 4.1.3: the schedule's functions (the SSE2 schedule computes them two words
// at a time).
inline uint64_t SmallSigma0(uint64_t x) {
  return std::rotr(x, 1) ^ std::rotr(x, 8) ^ (x >> 7);
}
inline uint64_t SmallSigma1(uint64_t x) {
  return std::rotr(x, 19) ^ std::rotr(x, 61) ^ (x >> 6);
}

// Portable: the whole schedule first, then the rounds.
KV_ALWAYS_INLINE void CompressBlock(const uint8_t *block, uint64_t *hash, uint64_t *WK) {
  uint64_t W[80];
  for (std::size_t t = 0; t < 16; ++t)
    W[t] = LoadBigEndian64(block + 8 * t);
  for (int t = 16; t < 80; ++t)
    W[t] = SmallSigma1(W[t - 2]) + W[t - 7] + SmallSigma0(W[t - 15]) + W[t - 16];
  for (int t = 0; t < 80; ++t)
    WK[t] = W[t] + K[t];

  uint64_t a = hash[0], b = hash[1], c = hash[2], d = hash[3];
  uint64_t e = hash[4], f = hash[5], g = hash[6], h = hash[7];
  uint64_t bc = b ^ c;
  for (int group = 0; group < 10; ++group)
    SHA512_EIGHT_ROUNDS(group, SHA512_NO_SCHEDULE);
  hash[0] += a, hash[1] += b, hash[2] += c, hash[3] += d;
  hash[4] += e, hash[5] += f, hash[6] += g, hash[7] += h;
}

#endif

#undef SHA512_NO_SCHEDULE
#undef SHA512_EIGHT_ROUNDS
#undef SHA512_ROUND

#if KV_SHA512_DISPATCH
// With BMI2 every rotation is one instruction that leaves its source intact, and the VEX encoding
// of AVX gives the schedule three-operand forms that need no register copies.
__attribute__((target("bmi2,avx"))) void CompressBlockBmi2Avx(const uint8_t *block, uint64_t *hash,
                                                              uint64_t *WK) {
  CompressBlock(block, hash, WK);
}
const bool HasBmi2Avx =
    (__builtin_cpu_init(), __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("avx"));
#endif

// Processes one 128-byte block into context.Hash; schedule is the caller's 80-word scratch,
// which receives W[t] + K[t].
void SHA512Compress(const uint8_t *block, TSHA512Context &context, uint64_t (&schedule)[80]) {
#if KV_SHA512_DISPATCH
  if (HasBmi2Avx)
    return CompressBlockBmi2Avx(block, context.Hash, schedule);
#endif
  CompressBlock(block, context.Hash, schedule);
}

} // namespace

void SHA512Init(TSHA512Context &context) {
  context.ByteCount = 0;
  std::memset(context.Buffer, 0, sizeof context.Buffer);
  context.BufferLen = 0;
  std::memcpy(context.Hash, InitialHash, sizeof context.Hash);
}

void SHA512Update(TSHA512Context &context, const void *data, uint32_t length) {
  if (length == 0)
    return;
  auto *bytes = static_cast<const uint8_t *>(data);
  context.ByteCount += length;
  uint64_t schedule[80];

  if (context.BufferLen > 0) {
    const uint32_t room = 128 - context.BufferLen;
    if (length < room) {
      std::memcpy(context.Buffer + context.BufferLen, bytes, length);
      context.BufferLen += length;
      return;
    }
    std::memcpy(context.Buffer + context.BufferLen, bytes, room);
    SHA512Compress(context.Buffer, context, schedule);
    context.BufferLen = 0;
    bytes += room;
    length -= room;
  }
  // Whole blocks are compressed straight from the caller's memory.
  for (; length >= 128; bytes += 128, length -= 128)
    SHA512Compress(bytes, context, schedule);

  if (length > 0)
    std::memcpy(context.Buffer, bytes, length);
  context.BufferLen = length;
}

void SHA512Final(TSHA512Context &context, TSHA512Digest &digest) {
  uint8_t work[256] = {};
  uint64_t schedule[80];
  const uint32_t used = context.BufferLen;
  std::memcpy(work, context.Buffer, used);
  work[used] = 0x80;

  // The bit length as a 128-bit number, big-endian, at the end of the last block.
  const bool twoBlocks = used > 111;
  uint8_t *const lengthField = work + (twoBlocks ? 240 : 112);
  StoreBigEndian64(lengthField, context.ByteCount >> 61);
  StoreBigEndian64(lengthField + 8, context.ByteCount << 3);

  SHA512Compress(work, context, schedule);
  if (twoBlocks)
    SHA512Compress(work + 128, context, schedule);

  for (std::size_t i = 0; i < 8; ++i)
    StoreBigEndian64(digest.data() + 8 * i, context.Hash[i]);
}

void SHA512Buffer(const void *data, uint32_t length, TSHA512Digest &digest) {
  TSHA512Context context;
  SHA512Init(context);
  SHA512Update(context, data, length);
  SHA512Final(context, digest);
}

void SHA512String(std::string_view text, TSHA512Digest &digest) {
  TSHA512Context context;
  SHA512Init(context);
  // Fed in pieces so that a text beyond 4 GiB is hashed whole, not cut at a 32-bit length.
  constexpr std::size_t Piece = std::size_t{1} << 30;
  for (std::size_t done = 0; done < text.size(); done += Piece)
    SHA512Update(context, text.data() + done, uint32_t(std::min(Piece, text.size() - done)));
  SHA512Final(context, digest);
}

void DigestToBytes(const TSHA512Digest &digest, ByteArray &bytes) {
  bytes.assign(digest.begin(), digest.end());
}
