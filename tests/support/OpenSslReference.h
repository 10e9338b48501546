// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// OpenSSL as the independent reference the tests compare against.

#include <array>
#include <cstdint>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <string_view>

inline std::array<uint8_t, 64> ReferenceSha512(std::string_view message) {
  std::array<uint8_t, 64> digest{};
  unsigned int length = 0;
  EVP_Digest(message.data(), message.size(), digest.data(), &length, EVP_sha512(), nullptr);
  return digest;
}

inline std::array<uint8_t, 64> ReferenceHmacSha512(std::string_view key, std::string_view message) {
  std::array<uint8_t, 64> digest{};
  unsigned int length = 0;
  HMAC(EVP_sha512(), key.data(), int(key.size()), reinterpret_cast<const uint8_t *>(message.data()),
       message.size(), digest.data(), &length);
  return digest;
}
