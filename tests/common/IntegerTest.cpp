// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Integer.h"

#include "common/Unicode.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

TEST(ParseInteger, ReadsTheProgramsIntegerSyntax) {
  struct Row {
    std::u16string text;
    bool ok;
    int32_t value;
  };
  const Row rows[] = {
      {u"250", true, 250},
      {u"-1200", true, -1200},
      {u"0x20", true, 32},
      {u"0X20", true, 32},
      {u"$20", true, 32},
      {u"x20", true, 32},
      {u"X20", true, 32},
      {u"-0x20", true, -32},
      {u"+7", true, 7},
      {u"  7", true, 7},
      {u"007", true, 7},
      {u"0", true, 0},
      {u"2147483647", true, 2147483647},
      {u"-2147483648", true, -2147483647 - 1},
      {u"0xFFFFFFFF", true, -1},
      {u"0x000000000FFFFFFFF", true, -1},
      {u"0x80000000", true, -2147483647 - 1},
      {u"2147483648", false, 0},
      {u"-2147483649", false, 0},
      {u"99999999999999999999", false, 0},
      {u"0x100000000", false, 0},
      {u"50px", false, 0},
      {u"1e3", false, 0},
      {u"+-5", false, 0},
      {u"", false, 0},
      {u"-", false, 0},
      {u"0x", false, 0},
      {u"$", false, 0},
      {u"7 ", false, 0},
      {u"0xG", false, 0},
      {u"\t7", false, 0},
      {u"\uFF17", false, 0},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(Utf16ToUtf8(row.text));
    const std::optional<int32_t> value = ParseInteger(row.text);
    EXPECT_EQ(value.has_value(), row.ok);
    if (row.ok) {
      EXPECT_EQ(value, row.value);
    }
  }
}

} // namespace
