// SPDX-License-Identifier: GPL-3.0-or-later
// HMAC-SHA-512 against OpenSSL as the independent reference.

#include "crypto/HMAC.h"
#include "crypto/HmacHex.h"
#include "support/Hex.h"
#include "support/OpenSslReference.h"

#include <gtest/gtest.h>
#include <string>

namespace {

// Keys up to the block length are zero-filled; a longer key is replaced by its digest first.
TEST(HMACSHA512, KeysAroundTheBlockLength) {
  for (size_t length : {0, 1, 64, 127, 128, 129, 300}) {
    SCOPED_TRACE(length);
    std::string key(length, '\0');
    for (size_t i = 0; i < length; ++i)
      key[i] = char(0x41 + i % 50);
    EXPECT_EQ(HmacHex(key, "message"), ToHex(ReferenceHmacSha512(key, "message")));
  }
}

} // namespace
