// SPDX-License-Identifier: GPL-3.0-or-later
// The site password against fixed answers; needs no reference library, so every build runs it.

#include "crypto/SitePassword.h"

#include "common/Unicode.h"

#include <gtest/gtest.h>
#include <string>

namespace {

// Fixed answers: a change to any of them changes every password users have derived.
TEST(DeriveSitePassword, KnownAnswers) {
  const struct {
    std::u16string master, url, login, password;
  } cases[] = {
      {u"master", u"https://example.com", u"", u"A58NLjudZTzwek7i"},
      {u"master", u"https://example.com", u"alice", u"Q6VfMfdOGK5J7zee"},
      {u"correct horse battery staple", u"https://mail.example.org/inbox?x=1", u"Alice@Example.org",
       u"pMASbQ3zvwI9S7B1"},
      {u"пароль", u"https://пример.рф", u"пользователь", u"RzJflBima6V0aenD"},
      {u"\U0001F511 key", u"https://example.com", u"\U0001F600", u"Nk4pYPCDd0sBsTvi"},
      {u"a", u"a://", u"", u"gBoj5a6CRcQtnDes"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.master + u" " + c.url + u" " + c.login));
    EXPECT_EQ(DeriveSitePassword(c.master, c.url, c.login), c.password);
  }
}

TEST(EncodePassword, MapsEachByteToTheAlphabetModulo63) {
  const struct {
    std::initializer_list<int> bytes;
    char16_t character;
  } rows[] = {
      {{0, 63, 126, 189, 252}, u'A'}, {{1, 64, 127, 190, 253}, u'B'},
      {{2, 65, 128, 191, 254}, u'C'}, {{3, 66, 129, 192, 255}, u'D'},
      {{25, 88, 151, 214}, u'Z'},     {{26, 89, 152, 215}, u'a'},
      {{51, 114, 177, 240}, u'z'},    {{52, 115, 178, 241}, u'1'},
      {{60, 123, 186, 249}, u'9'},    {{61, 124, 187, 250}, u'0'},
      {{62, 125, 188, 251}, u'='},
  };
  for (const auto &row : rows) {
    for (int b : row.bytes) {
      SCOPED_TRACE(b);
      EXPECT_EQ(EncodePassword(ByteArray{uint8_t(b)}, 1), std::u16string(1, row.character));
    }
  }
  ByteArray all(256);
  for (int b = 0; b < 256; ++b)
    all[size_t(b)] = uint8_t(b);
  const std::u16string encoded = EncodePassword(all, 256);
  ASSERT_EQ(encoded.size(), 256u);
  // Every password a user ever derived depends on these 63 characters in this order.
  const std::u16string alphabet =
      u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz1234567890=";
  EXPECT_EQ(encoded.substr(0, 63), alphabet);
  EXPECT_EQ(encoded.substr(63, 63), alphabet);
  EXPECT_EQ(encoded.substr(189, 63), alphabet);
  EXPECT_EQ(encoded.substr(252), u"ABCD");
}

TEST(EncodePassword, CountBoundsTheResult) {
  const ByteArray bytes{0, 1, 2};
  EXPECT_EQ(EncodePassword(bytes, 0), u"");
  EXPECT_EQ(EncodePassword(bytes, -5), u"");
  EXPECT_EQ(EncodePassword(bytes, 2), u"AB");
  EXPECT_EQ(EncodePassword(bytes, 10), u"ABC"); // never reads beyond the array
}

} // namespace
