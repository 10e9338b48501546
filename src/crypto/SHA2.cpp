#include "crypto/SHA2.h"

#include <algorithm>
#include <bit>
#include <cstring>

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
inline uint64_t SmallSigma0(uint64_t x) {
  return std::rotr(x, 1) ^ std::rotr(x, 8) ^ (x >> 7);
}
inline uint64_t SmallSigma1(uint64_t x) {
  return std::rotr(x, 19) ^ std::rotr(x, 61) ^ (x >> 6);
}
inline uint64_t Ch(uint64_t x, uint64_t y, uint64_t z) {
  return z ^ (x & (y ^ z));
}
inline uint64_t Maj(uint64_t x, uint64_t y, uint64_t z) {
  return (x & y) | (z & (x | y));
}

// One step of FIPS 180-4 section 6.4.2. Instead of shifting the eight working variables, the
// caller rotates their roles, so no value moves between registers.
#define SHA512_ROUND(a, b, c, d, e, f, g, h, t)                                                    \
  do {                                                                                             \
    h += BigSigma1(e) + Ch(e, f, g) + K[t] + W[t];                                                 \
    d += h;                                                                                        \
    h += BigSigma0(a) + Maj(a, b, c);                                                              \
  } while (0)

#define SHA512_EIGHT_ROUNDS(t)                                                                     \
  do {                                                                                             \
    SHA512_ROUND(a, b, c, d, e, f, g, h, (t) + 0);                                                 \
    SHA512_ROUND(h, a, b, c, d, e, f, g, (t) + 1);                                                 \
    SHA512_ROUND(g, h, a, b, c, d, e, f, (t) + 2);                                                 \
    SHA512_ROUND(f, g, h, a, b, c, d, e, (t) + 3);                                                 \
    SHA512_ROUND(e, f, g, h, a, b, c, d, (t) + 4);                                                 \
    SHA512_ROUND(d, e, f, g, h, a, b, c, (t) + 5);                                                 \
    SHA512_ROUND(c, d, e, f, g, h, a, b, (t) + 6);                                                 \
    SHA512_ROUND(b, c, d, e, f, g, h, a, (t) + 7);                                                 \
  } while (0)

// Processes one 128-byte block into context.Hash; schedule is the caller's 80-word scratch.
void SHA512Compress(const uint8_t *block, TSHA512Context &context, uint64_t (&schedule)[80]) {
  uint64_t *const W = schedule;
  for (int t = 0; t < 16; ++t)
    W[t] = LoadBigEndian64(block + 8 * t);
  for (int t = 16; t < 80; ++t)
    W[t] = SmallSigma1(W[t - 2]) + W[t - 7] + SmallSigma0(W[t - 15]) + W[t - 16];

  uint64_t a = context.Hash[0], b = context.Hash[1], c = context.Hash[2], d = context.Hash[3];
  uint64_t e = context.Hash[4], f = context.Hash[5], g = context.Hash[6], h = context.Hash[7];
  for (int t = 0; t < 80; t += 8)
    SHA512_EIGHT_ROUNDS(t);

  context.Hash[0] += a, context.Hash[1] += b, context.Hash[2] += c, context.Hash[3] += d;
  context.Hash[4] += e, context.Hash[5] += f, context.Hash[6] += g, context.Hash[7] += h;
}

#undef SHA512_EIGHT_ROUNDS
#undef SHA512_ROUND

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

  for (int i = 0; i < 8; ++i)
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
