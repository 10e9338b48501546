// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "crypto/HMAC.h"
#include "support/Hex.h"

#include <string>

// The HMAC-SHA-512 of message under key, in lower-case hexadecimal.
inline std::string HmacHex(const std::string &key, const std::string &message) {
  THMACContext context;
  HMACInit(context, key);
  HMACUpdate(context, message.data(), uint32_t(message.size()));
  TSHA512Digest digest;
  HMACFinal(context, digest);
  return ToHex(digest);
}
