// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Integer.h"

#include "common/HexDigit.h"

std::optional<int32_t> ParseInteger(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == u' ')
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
    negative = text[i++] == u'-';
  std::u16string_view rest = text.substr(i);

  std::size_t prefix = 0;
  if (!rest.empty() && (rest[0] == u'$' || rest[0] == u'x' || rest[0] == u'X'))
    prefix = 1;
  else if (rest.size() >= 2 && rest[0] == u'0' && (rest[1] == u'x' || rest[1] == u'X'))
    prefix = 2;
  if (prefix != 0) {
    const std::u16string_view hex = rest.substr(prefix);
    if (hex.empty())
      return std::nullopt;
    uint32_t bits = 0;
    int significant = 0;
    for (const char16_t c : hex) {
      const int digit = HexDigitValue(c);
      if (digit < 0)
        return std::nullopt;
      if (significant > 0 || digit != 0)
        ++significant;
      if (significant > 8)
        return std::nullopt;
      bits = (bits << 4) | uint32_t(digit);
    }
    // Negating the 32-bit pattern wraps, so "-$80000000" is the smallest value.
    return int32_t(negative ? 0u - bits : bits);
  }

  if (rest.empty())
    return std::nullopt;
  const int64_t limit = negative ? 2147483648LL : 2147483647LL;
  int64_t magnitude = 0;
  for (const char16_t c : rest) {
    if (c < u'0' || c > u'9')
      return std::nullopt;
    magnitude = magnitude * 10 + (c - u'0');
    if (magnitude > limit)
      return std::nullopt;
  }
  return int32_t(negative ? -magnitude : magnitude);
}
