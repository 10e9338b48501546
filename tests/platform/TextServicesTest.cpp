// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TextServices.h"

#include "common/Unicode.h"
#include "support/Hex.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#ifdef _WIN32
#include <windows.h>
#endif

namespace {

#ifdef _WIN32

// The Windows runs pick their ANSI code page through the locale they start in; a run that did not
// get the one it asked for would prove nothing about it.
TEST(TextServices, TheRunHasTheCodePageItAskedFor) {
  const char *expected = std::getenv("KV_EXPECTED_ACP");
  if (expected == nullptr)
    GTEST_SKIP() << "KV_EXPECTED_ACP is not set";
  EXPECT_EQ(GetACP(), std::strtoul(expected, nullptr, 10));
  EXPECT_FALSE(AnsiCodePageIsUtf8());
}

TEST(TextServices, AnsiIsTheSystemCodePageAndNeverStandsInForACharacter) {
  const struct {
    UINT CodePage;
    std::string Bytes;
    std::u16string Text;
  } rows[] = {
      {1252, "plain", u"plain"},
      {1252, "\xE9\x80\xDF", u"é€ß"},
      // The bytes Windows-1252 leaves undefined are the C1 controls of the same value.
      {1252, "\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D"},
      {1251, "\xC6\xE6\x88", u"Жж€"},
  };
  for (const auto &row : rows) {
    if (row.CodePage != GetACP())
      continue;
    SCOPED_TRACE(ToHex(row.Bytes));
    EXPECT_EQ(Utf16ToUtf8(AnsiToText(row.Bytes)), Utf16ToUtf8(row.Text));
    const auto bytes = TextToAnsi(row.Text);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(ToHex(*bytes), ToHex(row.Bytes));
  }
  EXPECT_EQ(AnsiToText(""), u"");

  // Text the code page cannot hold exactly has no bytes in it: the system's best fit would make
  // "łódź" "lodz" (another host) and Cyrillic "??????".
  const struct {
    UINT CodePage; // 0: every code page of the runs
    std::u16string Text;
  } unheld[] = {
      {1252, u"https://łódź.example"},
      {1252, u"пароль"},
      {1252, u"\u0141"},
      {1251, u"https://café.example"},
      {1251, u"Straße"},
      {0, u"a\u4E2Db"},
      {0, u"\U0001F600"},
      {0, u"\u2260"},
  };
  for (const auto &row : unheld) {
    if (row.CodePage != 0 && row.CodePage != GetACP())
      continue;
    SCOPED_TRACE(Utf16ToUtf8(row.Text));
    EXPECT_FALSE(TextToAnsi(row.Text).has_value());
  }
}

#else

TEST(TextServices, AnsiCodePageIsUtf8WithWindows1252ForOtherBytes) {
  EXPECT_TRUE(AnsiCodePageIsUtf8());
  const struct {
    std::string Bytes;
    std::u16string Text;
  } rows[] = {
      {"", u""},
      {"plain", u"plain"},
      {"\xC3\xA9\xE2\x82\xAC", u"é€"},
      // Not UTF-8: every byte one Windows-1252 character.
      {"\xE9\x80", u"é€"},
      {"\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D"},
      {"\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E",
       u"\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160\u2039\u0152\u017D"},
      {"\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9E\x9F",
       u"\u2018\u2019\u201C\u201D\u2022\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u017E\u0178"},
      {"\xA0\xFF\xC3", u"\u00A0\u00FF\u00C3"},
      {"\xC0\xAF", u"\u00C0\u00AF"}, // an overlong form is not UTF-8
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(ToHex(row.Bytes));
    EXPECT_EQ(Utf16ToUtf8(AnsiToText(row.Bytes)), Utf16ToUtf8(row.Text));
  }
  // UTF-8 holds every character; an unpaired surrogate becomes U+FFFD, as in any UTF-8 text.
  const auto bytes = TextToAnsi(u"é€\xD800");
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(ToHex(*bytes), "c3a9e282acefbfbd");
}

#endif

TEST(TextServices, SameTextIgnoringCase) {
  const struct {
    std::u16string A, B;
    bool Same;
  } rows[] = {
      {u"", u"", true},
      {u"2:bob", u"2:Bob", true},
      {u"ÄÖÜ", u"äöü", true},
      {u"ДЖ", u"дж", true},
      {u"Straße", u"STRASSE", true},
      {u"bob", u"bo", false},
      {u"bob", u"bób", false},
      {u"a b", u"ab", false},
#ifndef _WIN32
      // Full case folding; Windows compares by its locale's collation instead.
      {u"ΣΊΣΥΦΟΣ", u"σίσυφος", true}, // final sigma
      {u"KELVIN", u"\u212Aelvin", true},
      {u"\uFB01le", u"FILE", true},
      {u"\U00010400", u"\U00010428", true}, // outside the basic plane
      {u"\xD800", u"\xD800", true},
      {u"x-k", u"X-\u212A", true}, // an ASCII start, then a sign that folds to ASCII
      {u"ss", u"\u00DF", true},
      {u"a", u"A\u0301", false},
      {u"1", u"١", false},
      {u"\xD800", u"\xD801", false},
#endif
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(Utf16ToUtf8(row.A) + " / " + Utf16ToUtf8(row.B));
    EXPECT_EQ(SameTextIgnoringCase(row.A, row.B), row.Same);
    EXPECT_EQ(SameTextIgnoringCase(row.B, row.A), row.Same);
  }
}

} // namespace
