// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// HMAC-SHA-512 (RFC 2104, block length 128 bytes, output 64 bytes) on a caller-owned record.

#include "crypto/SHA2.h"

#include <cstdint>
#include <string_view>

// A context may be copied after HMACInit to take several messages under one key at the cost of
// their own blocks alone.
struct THMACContext {
  TSHA512Context Outer; // has absorbed the block-sized key XOR 0x5c
  TSHA512Context Inner; // has absorbed the block-sized key XOR 0x36, then the message so far
};

// key: the key's bytes. A key longer than 128 bytes is replaced by its SHA-512 digest first.
void HMACInit(THMACContext &context, std::string_view key);
void HMACUpdate(THMACContext &context, const void *data, uint32_t length);
void HMACFinal(THMACContext &context, TSHA512Digest &digest);
