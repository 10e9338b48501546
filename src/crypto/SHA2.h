// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// SHA-512 (FIPS 180-4) on caller-owned records. Nothing here allocates, fails or throws, apart
// from the one ByteArray that DigestToBytes fills.

#include "common/KvTypes.h"

#include <array>
#include <cstdint>
#include <string_view>

struct TSHA512Context {
  uint64_t ByteCount;  // message bytes absorbed since SHA512Init, modulo 2^64
  uint8_t Buffer[128]; // the start of a block that is not yet complete
  uint32_t BufferLen;  // valid bytes at the start of Buffer, 0 to 127 between calls
  uint64_t Hash[8];    // the chaining value H0..H7
};

// The digest in the standard's byte order: H0 most significant byte first, then H1, ... H7.
using TSHA512Digest = std::array<uint8_t, 64>;

void SHA512Init(TSHA512Context &context);
// Absorbs length bytes at data; data is only read, and not at all when length is 0.
void SHA512Update(TSHA512Context &context, const void *data, uint32_t length);
// Pads and writes the digest. The context is neither reset nor cleared.
void SHA512Final(TSHA512Context &context, TSHA512Digest &digest);
void SHA512Buffer(const void *data, uint32_t length, TSHA512Digest &digest);
// The digest of the string's bytes; an empty string hashes zero bytes.
void SHA512String(std::string_view text, TSHA512Digest &digest);
// bytes becomes exactly the 64 digest bytes, in order.
void DigestToBytes(const TSHA512Digest &digest, ByteArray &bytes);
