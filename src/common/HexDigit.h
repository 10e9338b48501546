// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The value of a hexadecimal digit in either letter case, or -1 for any other character.
inline int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9')
    return c - u'0';
  if (c >= u'a' && c <= u'f')
    return c - u'a' + 10;
  if (c >= u'A' && c <= u'F')
    return c - u'A' + 10;
  return -1;
}
