// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Unicode.h"

#include <gtest/gtest.h>

namespace {

struct EncodeCase {
  const char *name;
  std::u16string utf16;
  std::string utf8;
};

TEST(Utf16ToUtf8, EncodesEveryLengthAndReplacesUnpairedSurrogates) {
  const EncodeCase cases[] = {
      {"empty", u"", ""},
      {"ascii", u"abc", "abc"},
      {"nul is a character", std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
      {"two bytes", u"\u00e9\u07ff", "\xc3\xa9\xdf\xbf"},
      {"three bytes", u"\u0800\u20ac\uffff", "\xe0\xa0\x80\xe2\x82\xac\xef\xbf\xbf"},
      {"pair becomes four bytes", u"\U0001F600", "\xf0\x9f\x98\x80"},
      {"highest code point", u"\U0010FFFF", "\xf4\x8f\xbf\xbf"},
      {"lone high at end", u"a\xd800", "a\xef\xbf\xbd"},
      {"lone low", u"\xdc00z", "\xef\xbf\xbdz"},
      {"low before high", u"\xdc00\xd800", "\xef\xbf\xbd\xef\xbf\xbd"},
      {"high then high then low", u"\xd800\xd83d\xde00", "\xef\xbf\xbd\xf0\x9f\x98\x80"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8);
  }
}

struct DecodeCase {
  const char *name;
  std::string utf8;
  std::u16string utf16;
  bool valid;
};

TEST(Utf8ToUtf16, DecodesWellFormedTextAndReplacesEachMaximalInvalidPart) {
  const DecodeCase cases[] = {
      {"empty", "", u"", true},
      {"mixed lengths", "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", u"a\u00e9\u20ac\U0001F600", true},
      {"highest code point", "\xf4\x8f\xbf\xbf", u"\U0010FFFF", true},
      {"stray continuation", "a\x80z", u"a\ufffdz", false},
      {"overlong two bytes", "\xc0\xaf", u"\ufffd\ufffd", false},
      {"overlong three bytes", "\xe0\x80\xaf", u"\ufffd\ufffd\ufffd", false},
      {"encoded surrogate", "\xed\xa0\x80", u"\ufffd\ufffd\ufffd", false},
      {"above U+10FFFF", "\xf4\x90\x80\x80", u"\ufffd\ufffd\ufffd\ufffd", false},
      {"truncated at end", "ab\xe2\x82", u"ab\ufffd", false},
      {"truncated before ascii", "\xf0\x9f\x98z", u"\ufffdz", false},
      {"bytes never used", "\xfe\xff\xf5", u"\ufffd\ufffd\ufffd", false},
      {"windows-1252 text", "caf\xe9 \x80", u"caf\ufffd \ufffd", false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    bool valid = !c.valid;
    EXPECT_EQ(Utf8ToUtf16(c.utf8, &valid), c.utf16);
    EXPECT_EQ(valid, c.valid);
  }
}

TEST(Utf8ToUtf16, RoundTripsEveryCodePoint) {
  std::u16string all;
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF)
      continue;
    if (cp < 0x10000) {
      all.push_back(char16_t(cp));
    } else {
      all.push_back(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
      all.push_back(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
  }
  bool valid = false;
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(all), &valid), all);
  EXPECT_TRUE(valid);
}

TEST(LoneSurrogates, AreKeptInTheirThreeByteFormOnlyWhenAsked) {
  const struct {
    std::u16string Text;
    std::string Kept;
  } rows[] = {
      {u"a\xD800"
       u"b",
       "a\xED\xA0\x80"
       "b"},
      {u"\xDFFF", "\xED\xBF\xBF"},
      {u"\xDBFF\xDC00", "\xF4\x8F\xB0\x80"}, // a pair is one code point, as always
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Kept);
    EXPECT_EQ(Utf16ToUtf8(row.Text, TKvLoneSurrogates::Keep), row.Kept);
    bool valid = false;
    EXPECT_EQ(Utf8ToUtf16(row.Kept, &valid, TKvLoneSurrogates::Keep), row.Text);
    EXPECT_TRUE(valid);
  }
  // Unless kept, an encoded surrogate is an invalid sequence.
  bool valid = true;
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80", &valid), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_FALSE(valid);
}

} // namespace
