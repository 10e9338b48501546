// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

// Lower-case hexadecimal of bytes, for readable comparisons with published test vectors.
template <typename Bytes> std::string ToHex(const Bytes &bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t b : bytes) {
    hex.push_back(digits[b >> 4]);
    hex.push_back(digits[b & 15]);
  }
  return hex;
}
