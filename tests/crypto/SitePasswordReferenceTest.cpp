// SPDX-License-Identifier: GPL-3.0-or-later
// The site password against OpenSSL's HMAC as the independent reference.

#include "common/Unicode.h"
#include "crypto/SitePassword.h"
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

} // namespace
