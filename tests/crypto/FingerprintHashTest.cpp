// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/KvError.h"
#include "common/Unicode.h"
#include "crypto/Fingerprint.h"
#include "support/Hex.h"
#include "support/TempFolder.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>

namespace {

struct TKnownAnswer {
  const char *Name;
  std::u16string Password;
  const char *Hash; // 16 bytes of Argon2id, from the reference implementation
  TKvFingerprint Symbols;
};

std::u16string Repeated(std::u16string_view piece, int times) {
  std::u16string text;
  for (int i = 0; i < times; ++i)
    text += piece;
  return text;
}

// Computed once with the reference Argon2 (Debian's argon2 command, "printf %s PASSWORD | argon2
// 'Quillgate print1' -id -t 3 -k 16384 -p 1 -l 16 -r"; the command takes at most 127 bytes, so
// the long row came from the same reference library, libargon2, called directly). libsodium is
// an implementation of its own: these pin it to the published algorithm.
const TKnownAnswer KnownAnswers[] = {
    {"ascii", u"correct horse battery staple", "72f03eeb2b1614679ac7227ef9af613b", {7, 2, 15}},
    {"one character", u"a", "9bcae8881222e7eb45c726f279fc9db5", {9, 11, 12}},
    {"accented", u"Crème brûlée à la française", "7e898fbaeb2482a97220342a8c124043", {7, 14, 8}},
    {"cyrillic", u"Пароль для проверки", "130fbfaee84ab2a3b17afdc076be10fd", {1, 3, 0}},
    {"emoji", u"🔑🦊 secret 🎉", "82a98eadbc7731e986aedc15652518e1", {8, 2, 10}},
    {"1,000 characters", Repeated(u"aé€Я", 250), "8e4c6789a921b6ccc66b82329779bf85", {8, 14, 4}},
};

TEST(FingerprintHash, KnownAnswersOfTheReferenceArgon2id) {
  for (const TKnownAnswer &row : KnownAnswers) {
    SCOPED_TRACE(row.Name);
    const ByteArray hash = FingerprintHash(row.Password);
    EXPECT_EQ(ToHex(hash), row.Hash);
    EXPECT_EQ(FingerprintSymbols(hash), row.Symbols);
  }
  EXPECT_EQ(KnownAnswers[5].Password.size(), 1000u);
}

// The table above is what pins the hash; where the reference command is installed, the short
// rows are also checked against it as it runs now.
class FingerprintReference : public TempFolderTest {};

TEST_F(FingerprintReference, AgreesWithTheArgon2CommandWhereItIsInstalled) {
  if (std::system("command -v argon2 >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "the argon2 command is not installed";
  for (const TKnownAnswer &row : KnownAnswers) {
    const std::string utf8 = Utf16ToUtf8(row.Password);
    if (utf8.size() > 127)
      continue;
    SCOPED_TRACE(row.Name);
    const auto input = folder / "password";
    WriteFile(input, utf8);
    const std::string command =
        "argon2 'Quillgate print1' -id -t 3 -k 16384 -p 1 -l 16 -r < '" + input.string() + "'";
    FILE *pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[80] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    EXPECT_EQ(pclose(pipe), 0);
    ASSERT_TRUE(read);
    EXPECT_EQ(std::string(line), std::string(row.Hash) + "\n"); // libsodium's is pinned above
  }
}

TEST(FingerprintHash, UnpairedSurrogateCountsAsTheReplacementCharacter) {
  // As the site passwords take it: the box may hold one, and the same text gives the same print.
  EXPECT_EQ(FingerprintHash(u"ab\xD800"), FingerprintHash(u"ab\uFFFD"));
  EXPECT_NE(FingerprintHash(u"ab"), FingerprintHash(u"ab\uFFFD"));
}

TEST(GuessesExponent, TheEstimatorsBitsTimesLog10Of2RoundedDown) {
  const std::pair<std::u16string, int> rows[] = {
      {u"password", 0},                      // the commonest password of all: one guess
      {u"a", 0},                             // 2 bits
      {u"Tr0ub4dor&3", 14},                  // 46.7 bits
      {u"correct horse battery staple", 21}, // 70.3 bits
      {u"Пароль для проверки", 76},          // 254 bits
      {Repeated(u"aé€Я", 250), 29},          // 98.7 bits: a repeat costs little
  };
  for (const auto &[password, exponent] : rows) {
    SCOPED_TRACE(Utf16ToUtf8(password));
    EXPECT_EQ(GuessesExponent(password), exponent);
  }
}

} // namespace
