// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The program's one integer syntax, for site indexes, ports and config.ini values: any number of
// leading spaces (U+0020 only), one optional "+" or "-", then decimal digits, or a hexadecimal
// prefix ("$", "x", "X", "0x", "0X") and hexadecimal digits in either case; nothing before, between
// or after. Decimal values must fit a signed 32-bit integer; hexadecimal ones may have up to eight
// significant digits, read as a signed 32-bit pattern that a "-" negates. None for any other text.
std::optional<int32_t> ParseInteger(std::u16string_view text);
