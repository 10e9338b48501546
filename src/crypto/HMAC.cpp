// SPDX-License-Identifier: GPL-3.0-or-later
#include "crypto/HMAC.h"

#include "common/SecureZero.h"

#include <cstring>

void HMACInit(THMACContext &context, std::string_view key) {
  uint8_t keyBlock[128] = {};
  if (key.size() > sizeof keyBlock) {
    TSHA512Digest keyDigest;
    SHA512String(key, keyDigest);
    std::memcpy(keyBlock, keyDigest.data(), keyDigest.size());
    SecureZero(keyDigest.data(), keyDigest.size());
  } else if (!key.empty()) {
    std::memcpy(keyBlock, key.data(), key.size());
  }

  uint8_t outerPad[128], innerPad[128];
  for (std::size_t i = 0; i < sizeof keyBlock; ++i) {
    outerPad[i] = keyBlock[i] ^ 0x5c;
    innerPad[i] = keyBlock[i] ^ 0x36;
  }
  SHA512Init(context.Outer);
  SHA512Update(context.Outer, outerPad, sizeof outerPad);
  SHA512Init(context.Inner);
  SHA512Update(context.Inner, innerPad, sizeof innerPad);

  SecureZero(keyBlock, sizeof keyBlock);
  SecureZero(outerPad, sizeof outerPad);
  SecureZero(innerPad, sizeof innerPad);
}

void HMACUpdate(THMACContext &context, const void *data, uint32_t length) {
  SHA512Update(context.Inner, data, length);
}

void HMACFinal(THMACContext &context, TSHA512Digest &digest) {
  TSHA512Digest innerDigest;
  SHA512Final(context.Inner, innerDigest);

  SHA512Update(context.Outer, innerDigest.data(), uint32_t(innerDigest.size()));
  SHA512Final(context.Outer, digest);

  SecureZero(innerDigest.data(), innerDigest.size());
}
