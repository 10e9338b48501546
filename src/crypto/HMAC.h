// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// HMAC-SHA-512 (RFC 2104, block length 128 bytes, output 64 bytes) on a caller-owned record.

#include "crypto/SHA2.h"

#include <cstdint>
#include <string_view>

struct THMACContext {
  uint8_t OuterPad[128]; // the block-sized key XOR 0x5c, needed by the outer hash
  TSHA512Context Inner;  // has absorbed the block-sized key XOR 0x36, then the message so far
};

// key: the key's bytes. A key longer than 128 bytes is replaced by its SHA-512 digest first.
void HMACInit(THMACContext &context, std::string_view key);
void HMACUpdate(THMACContext &context, const void *data, uint32_t length);
void HMACFinal(THMACContext &context, TSHA512Digest &digest);
