// SPDX-License-Identifier: GPL-3.0-or-later
// Rule texts and the passwords derived with rules and versions, against fixed answers.

#include "crypto/PasswordRules.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "crypto/SitePassword.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::u16string Characters(const TKvCharacterSet &set) {
  std::u16string characters;
  for (char16_t c = 0; c < 128; ++c)
    if (set.test(c))
      characters.push_back(c);
  return characters;
}

// Answers computed independently of this code: a change to any of them changes passwords users
// have signed up with.
TEST(DeriveSitePasswordWithRules, KnownAnswers) {
  const std::u16string horse = u"correct horse battery staple";
  const struct {
    std::u16string master, url, login;
    int32_t version;
    std::u16string rules, password;
  } cases[] = {
      {horse, u"https://www.example.com", u"alice", 1, u"", u"NJcthVVN=9NPjtym"},
      {horse, u"https://www.example.com", u"alice", 2, u"", u"lNGdGyHDIW6n94tk"},
      {horse, u"https://www.example.com", u"alice", 3, u"", u"qZLlviwPRrsPCMm0"},
      {horse, u"https://www.bestbuy.com", u"alice", 1,
       u"minlength: 20; required: lower; required: upper; required: digit; required: special;",
       u"?g45*@z>PZe\\gBFLhp(M"},
      {horse, u"https://secure.chase.com", u"alice@example.org", 1,
       u"minlength: 8; maxlength: 32; max-consecutive: 2; required: lower, upper; required: "
       u"digit; required: [!#$%+/=@~];",
       u"/XuTIsK1+VIqZ7ZH"},
      {u"Łódź-пароль", u"https://www.dkb.de/banking", u"łukasz", 2,
       u"minlength: 8; maxlength: 38; required: lower, upper; required: digit; allowed: "
       u"[-äüöÄÜÖß!$%&/()=?+#,.:];",
       u"a4q5ndTTx-ICl7p&"},
      {horse, u"https://allianz.com.br", u"", 1, u"minlength: 4; maxlength: 4;", u"EZI}"},
      // The plain password meets these rules, so it stays.
      {horse, u"https://www.example.com", u"alice", 1, u"minlength: 6; maxlength: 16;",
       u"NJcthVVN=9NPjtym"},
      {horse, u"https://bitly.com", u"alice", 1,
       u"minlength: 6; required: lower; required: upper; required: digit; required: "
       u"[`!@#$%^&*()+~{}'\";:<>?]];",
       u"+\"^VJo9WTHlKI)k2"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.url + u" " + c.login + u" " + c.rules));
    EXPECT_EQ(DeriveSitePassword(c.master, c.url, c.login, c.version, c.rules), c.password);
  }
}

TEST(DeriveSitePasswordWithRules, PlainPasswordStaysForVersionOneWithoutRules) {
  for (const std::u16string rules : {u"", u"  \t ", u" minlength: 6; "}) {
    SCOPED_TRACE(Utf16ToUtf8(rules));
    EXPECT_EQ(DeriveSitePassword(u"m", u"https://a.example", u"bob", 1, rules),
              DeriveSitePassword(u"m", u"https://a.example", u"bob"));
  }
}

TEST(DeriveSitePasswordWithRules, SurroundingBlanksOfTheRuleTextChangeNothing) {
  const std::u16string rules = u"maxlength: 12; required: [!];";
  EXPECT_EQ(DeriveSitePassword(u"m", u"https://a.example", u"", 1, rules),
            DeriveSitePassword(u"m", u"https://a.example", u"", 1, u" \t" + rules + u"\t "));
}

TEST(DeriveSitePasswordWithRules, EveryInputChangesThePassword) {
  const std::u16string base = DeriveSitePassword(u"m", u"https://a.example", u"bob", 2, u"");
  EXPECT_NE(base, DeriveSitePassword(u"M", u"https://a.example", u"bob", 2, u""));
  EXPECT_NE(base, DeriveSitePassword(u"m", u"https://b.example", u"bob", 2, u""));
  EXPECT_NE(base, DeriveSitePassword(u"m", u"https://a.example", u"Bob", 2, u""));
  EXPECT_NE(base, DeriveSitePassword(u"m", u"https://a.example", u"bob", 3, u""));
  // URL and login are kept apart: "ab" + "c" is not "a" + "bc".
  EXPECT_NE(DeriveSitePassword(u"m", u"https://ab", u"c", 2, u""),
            DeriveSitePassword(u"m", u"https://a", u"bc", 2, u""));
}

TEST(DeriveSitePasswordWithRules, GeneratedPasswordsMeetTheirRules) {
  const std::u16string rules[] = {
      u"maxlength: 8; max-consecutive: 1; allowed: [abcd];",
      u"minlength: 128; maxlength: 128; required: [-]; required: [ab];",
      u"required: upper; required: upper; required: upper; maxlength: 3;",
      u"allowed: unicode; minlength: 30;",
      u"allowed: [ abc]; required: [ x];",
  };
  for (const std::u16string &text : rules)
    for (int32_t version = 1; version <= 20; ++version) {
      SCOPED_TRACE(Utf16ToUtf8(text) + " version " + std::to_string(version));
      const std::u16string password =
          DeriveSitePassword(u"m", u"https://a.example", u"bob", version, text);
      const TKvPasswordRules parsed = ParsePasswordRules(text);
      EXPECT_TRUE(MeetsPasswordRules(parsed, password)) << Utf16ToUtf8(password);
      EXPECT_EQ(int32_t(password.size()), parsed.GeneratedLength());
      EXPECT_EQ(password.find(u' '), std::u16string::npos);
    }
}

TEST(DeriveSitePasswordWithRules, RefusesWhatNoPasswordCanMeet) {
  // One character and at most one of it in a row: every longer draw breaks it.
  EXPECT_THROW(DeriveSitePassword(u"m", u"https://a", u"", 1, u"allowed: [a]; max-consecutive: 1;"),
               EKvError);
  EXPECT_THROW(DeriveSitePassword(u"m", u"https://a", u"", 0, u""), EKvError);
}

TEST(ParsePasswordRules, CombinesPropertiesAsTheLanguageDefines) {
  const TKvPasswordRules rules = ParsePasswordRules(
      u"minlength: 4; minlength: 9; maxlength: 30; maxlength: 20; max-consecutive: 3; "
      u"max-consecutive: 2; required: digit; allowed: lower");
  EXPECT_EQ(rules.MinLength, 9);
  EXPECT_EQ(rules.MaxLength, 20);
  EXPECT_EQ(rules.MaxConsecutive, 2);
  EXPECT_EQ(Characters(rules.Allowed), u"0123456789abcdefghijklmnopqrstuvwxyz");
  EXPECT_EQ(rules.GeneratedLength(), 16);
  EXPECT_EQ(ParsePasswordRules(u"maxlength: 12").GeneratedLength(), 12);
  EXPECT_EQ(ParsePasswordRules(u"minlength: 20; maxlength: 99999999999").GeneratedLength(), 20);
}

TEST(ParsePasswordRules, ReadsClassesAndSets) {
  const struct {
    std::u16string text, allowed, generated;
  } cases[] = {
      {u"",
       u" !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
       u"abcdefghijklmnopqrstuvwxyz{|}~",
       u"!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
       u"abcdefghijklmnopqrstuvwxyz{|}~"},
      {u"allowed: special", u"!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~",
       u"!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~"},
      {u"allowed: [-a]", u"-a", u"-a"},
      {u"allowed: [a]]", u"]a", u"]a"},
      {u"allowed: []]", u"]", u"]"},
      {u"allowed: [;,b]", u",;b", u",;b"},
      {u"allowed: [a b[c]", u" [abc", u"[abc"},
      {u"allowed: [ä-]", u"", u""}, // "-" after a character that is left out is still not first
      {u"allowed: [äa]", u"a", u"a"},
      {u"ALLOWED: Upper, [x] , digit", u"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZx",
       u"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZx"},
      {u";; allowed: [x];;", u"x", u"x"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.text));
    if (c.text == u"allowed: [ä-]") {
      EXPECT_THROW(ParsePasswordRules(c.text), EKvError);
      continue;
    }
    const TKvPasswordRules rules = ParsePasswordRules(c.text);
    EXPECT_EQ(Characters(rules.Allowed), c.allowed);
    EXPECT_EQ(rules.GeneratedAlphabet(), c.generated);
  }
}

TEST(ParsePasswordRules, RequiredSetsKeepTheirOrderAndRepeats) {
  const TKvPasswordRules rules =
      ParsePasswordRules(u"required: upper; required: [!a ], digit; required: upper;");
  ASSERT_EQ(rules.Required.size(), 3u);
  EXPECT_EQ(rules.GeneratedRequired(0), u"ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  EXPECT_EQ(rules.GeneratedRequired(1), u"!0123456789a");
  EXPECT_EQ(rules.GeneratedRequired(2), u"ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  EXPECT_EQ(rules.GeneratedAlphabet(), u"!0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZa");
}

TEST(ParsePasswordRules, RefusesTextThatDoesNotParseOrCannotBeMet) {
  const struct {
    std::u16string text, reason;
  } cases[] = {
      {u"minlen: 8", u"\"minlen\" is not a property"},
      {u"required: capitals", u"\"capitals\" is not a character class"},
      {u"required: ;", u"a character class is missing"},
      {u"minlength: eight", u"\"eight\" after minlength is not a number"},
      {u"minlength: -1", u"\"-1\" after minlength is not a number"},
      {u"maxlength: 8.5", u"\"8.5\" after maxlength is not a number"},
      {u"minlength 8", u"\":\" is missing after \"minlength\""},
      {u"minlength: 8 maxlength: 9", u"\"8 maxlength: 9\" after minlength is not a number"},
      {u"required: upper lower", u"\";\" is missing before \"lower\""},
      {u"allowed: [a-z]", u"\"-\" may stand only first"},
      {u"allowed: [abc", u"has no closing \"]\""},
      {u"allowed: [abc]]]", u"\";\" is missing before \"]\""},
      {u"= 3", u"\"=\" does not begin a property"},
      {u"minlength: 20; maxlength: 12;", u"minlength 20 is more than maxlength 12"},
      {u"minlength: 129", u"a password of 129 characters is outside 1 to 128"},
      {u"maxlength: 0", u"a password of 0 characters is outside 1 to 128"},
      {u"max-consecutive: 0", u"max-consecutive 0 allows no password"},
      {u"allowed: []", u"it allows no printable ASCII character"},
      {u"allowed: [ äö]", u"it allows no printable ASCII character"},
      {u"required: upper; required: [ ]", u"required set 2 holds no printable ASCII character"},
      {u"maxlength: 2; required: upper; required: lower; required: digit",
       u"3 required sets do not fit in 2 characters"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.text));
    try {
      ParsePasswordRules(c.text);
      ADD_FAILURE() << "no error";
    } catch (const EKvError &error) {
      EXPECT_TRUE(
          error.Message().starts_with(u"The site rules \"" + c.text + u"\" cannot be used: "))
          << error.what();
      EXPECT_NE(error.Message().find(c.reason), std::u16string::npos) << error.what();
    }
  }
}

TEST(MeetsPasswordRules, ChecksLengthCharactersRequiredSetsAndRuns) {
  const TKvPasswordRules rules = ParsePasswordRules(
      u"minlength: 4; maxlength: 6; max-consecutive: 2; required: digit; allowed: lower");
  const struct {
    std::u16string password;
    bool meets;
  } cases[] = {
      {u"ab1c", true},     {u"aab1", true},  {u"aaab1", false}, {u"ab1", false},
      {u"abc1def", false}, {u"abcd", false}, {u"Abc1", false},  {u"ab1ä", false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.password));
    EXPECT_EQ(MeetsPasswordRules(rules, c.password), c.meets);
  }
  EXPECT_TRUE(MeetsPasswordRules(ParsePasswordRules(u"allowed: unicode"), u"pässwörd"));
  EXPECT_TRUE(MeetsPasswordRules(ParsePasswordRules(u""), u"pass word~"));
}

} // namespace
