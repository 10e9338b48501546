#include "crypto/SitePassword.h"

#include "common/Unicode.h"
#include "support/OpenSslReference.h"

#include <gtest/gtest.h>
#include <string>

namespace {

// What the site password must be for the UTF-8 key and message, computed with OpenSSL's HMAC.
std::u16string ReferencePassword(const std::string &key, const std::string &message) {
  const auto mac = ReferenceHmacSha512(key, message);
  std::u16string password;
  for (int i = 0; i < 16; ++i)
    password.push_back(PasswordAlphabet[mac[size_t(i)] % 63]);
  return password;
}

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

TEST(DeriveSitePassword, UrlAndLoginCountOnlyThroughTheirJoinedText) {
  const auto url = DeriveSitePassword(u"m", u"https://a.example/", u"");
  EXPECT_EQ(url, ReferencePassword("m", "https://a.example/"));
  EXPECT_EQ(DeriveSitePassword(u"m", u"https://a.example/", u"bob"),
            DeriveSitePassword(u"m", u"https://a.example/bob", u""));
  // Nothing is trimmed or folded.
  EXPECT_NE(DeriveSitePassword(u"m", u"https://A.example/", u""), url);
  EXPECT_NE(DeriveSitePassword(u"m", u"https://a.example", u""), url);
  EXPECT_NE(DeriveSitePassword(u"m", u"https://a.example/", u" "), url);
}

TEST(DeriveSitePassword, SurrogatesSplitBetweenUrlAndLoginJoinIntoOneCharacter) {
  const auto split = DeriveSitePassword(u"m", u"https://x/\xD83D", u"\xDE00");
  EXPECT_EQ(split, DeriveSitePassword(u"m", u"https://x/\U0001F600", u""));
  EXPECT_EQ(split, ReferencePassword("m", "https://x/\xF0\x9F\x98\x80"));
  // Unpaired, each becomes U+FFFD.
  EXPECT_EQ(DeriveSitePassword(u"m\xDC00", u"https://x/\xD83D", u""),
            ReferencePassword("m\xEF\xBF\xBD", "https://x/\xEF\xBF\xBD"));
}

// Whether the key is hashed first depends on its UTF-8 byte count, not its character count.
TEST(DeriveSitePassword, KeyLengthCountsUtf8Bytes) {
  const struct {
    const char *name;
    std::u16string master;
  } cases[] = {
      {"128 ASCII, used as it is", std::u16string(128, u'k')},
      {"129 ASCII, hashed", std::u16string(129, u'k')},
      {"42 three-byte characters, 126 bytes", std::u16string(42, u'\u20AC')},
      {"43 three-byte characters, 129 bytes", std::u16string(43, u'\u20AC')},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DeriveSitePassword(c.master, u"https://example.com", u"me"),
              ReferencePassword(Utf16ToUtf8(c.master), "https://example.comme"));
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
  EXPECT_EQ(encoded.substr(0, 63), PasswordAlphabet);
  EXPECT_EQ(encoded.find_first_not_of(PasswordAlphabet), std::u16string::npos);
}

TEST(EncodePassword, CountBoundsTheResult) {
  const ByteArray bytes{0, 1, 2};
  EXPECT_EQ(EncodePassword(bytes, 0), u"");
  EXPECT_EQ(EncodePassword(bytes, -5), u"");
  EXPECT_EQ(EncodePassword(bytes, 2), u"AB");
  EXPECT_EQ(EncodePassword(bytes, 10), u"ABC"); // never reads beyond the array
}

} // namespace
