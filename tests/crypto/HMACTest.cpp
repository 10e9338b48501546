// SPDX-License-Identifier: GPL-3.0-or-later
// HMAC-SHA-512 against published answers and its own definition; needs no reference library.

#include "crypto/HMAC.h"

#include "crypto/HmacHex.h"
#include "support/Hex.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values)
    s.push_back(char(v));
  return s;
}

TEST(HMACSHA512, Rfc4231TestCases) {
  const std::string keyOf131(131, '\xaa');
  const struct {
    const char *name;
    std::string key, data;
    const char *mac; // case 5 gives only the first 16 bytes
  } cases[] = {
      {"1", std::string(20, '\x0b'), "Hi There",
       "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cde"
       "daa833b7d6b8a702038b274eaea3f4e4be9d914eeb61f1702e696c203a126854"},
      {"2", "Jefe", "what do ya want for nothing?",
       "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea250554"
       "9758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737"},
      {"3", std::string(20, '\xaa'), std::string(50, '\xdd'),
       "fa73b0089d56a284efb0f0756c890be9b1b5dbdd8ee81a3655f83e33b2279d39"
       "bf3e848279a722c806b485a47e67c807b946a337bee8942674278859e13292fb"},
      {"4", Bytes({1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                   14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25}),
       std::string(50, '\xcd'),
       "b0ba465637458c6990e5a8c5f61d4af7e576d97ff94b872de76f8050361ee3db"
       "a91ca5c11aa25eb4d679275cc5788063a5f19741120c4f2de2adebeb10a298dd"},
      {"5", std::string(20, '\x0c'), "Test With Truncation", "415fad6271580a531d4179bc891d87a6"},
      {"6", keyOf131, "Test Using Larger Than Block-Size Key - Hash Key First",
       "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f352"
       "6b56d037e05f2598bd0fd2215d6a1e5295e64f73f63f0aec8b915a985d786598"},
      {"7", keyOf131,
       "This is a test using a larger than block-size key and a larger than block-size data. "
       "The key needs to be hashed before being used by the HMAC algorithm.",
       "e37b6a775dc87dbaa4dfa9f96e5e3ffddebd71f8867289865df5a32d20cdc944"
       "b6022cac3c4982b10d5eeb55c3e4de15134676fb6de0446065c97440fa8c6a58"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string("test case ") + c.name);
    const std::string expected = c.mac;
    EXPECT_EQ(HmacHex(c.key, c.data).substr(0, expected.size()), expected);
  }
}

TEST(HMACSHA512, KeyLongerThanABlockActsAsItsDigest) {
  const std::string key(129, 'k');
  TSHA512Digest keyDigest;
  SHA512String(key, keyDigest);
  const std::string digestKey(keyDigest.begin(), keyDigest.end());
  EXPECT_EQ(HmacHex(key, "m"), HmacHex(digestKey, "m"));
}

} // namespace
