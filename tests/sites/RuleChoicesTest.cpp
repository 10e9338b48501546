// SPDX-License-Identifier: GPL-3.0-or-later
// Site rules as the dialog's plain controls show them, and what the window offers and says of a
// site's rules.
#include "sites/RuleChoices.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "crypto/PasswordRules.h"

#include <gtest/gtest.h>
#include <string>

namespace {

constexpr char16_t Chase[] = u"minlength: 8; maxlength: 32; max-consecutive: 2; required: lower, "
                             u"upper; required: digit; required: [!#$%+/=@~];";

std::string Show(const TKvRuleChoices &c) {
  return "min " + std::to_string(c.MinLength) + ", max " + std::to_string(c.MaxLength) +
         ", needs " + (c.NeedsLower ? "l" : "-") + (c.NeedsUpper ? "u" : "-") +
         (c.NeedsDigit ? "d" : "-") + (c.NeedsSymbol ? "s" : "-") + ", symbols " +
         Utf16ToUtf8(c.Symbols);
}

TEST(RuleChoicesTest, ChoicesWriteATextThatReadsBackAsTheSameChoicesExactly) {
  const std::u16string all(AllSymbols);
  const struct {
    TKvRuleChoices Choices;
    std::u16string Text;
    std::u16string SymbolsRead; // the symbols as the text gives them back
  } rows[] = {
      {{}, u"", all},
      {{8, 0, false, false, false, false, all}, u"minlength: 8;", all},
      {{0, 20, false, false, false, false, all}, u"maxlength: 20;", all},
      {{0, 0, false, false, false, false, u"!#"}, u"allowed: lower, upper, digit, [!#];", u"!#"},
      {{0, 0, false, false, false, false, u""}, u"allowed: lower, upper, digit;", u""},
      {{8, 32, true, true, true, true, all},
       u"minlength: 8; maxlength: 32; required: lower; required: upper; required: digit; "
       u"required: special; allowed: lower, upper, digit, special;",
       all},
      {{0, 0, false, false, true, false, all},
       u"required: digit; allowed: lower, upper, digit, special;",
       all},
      // "-" goes first and "]" last, the only places a set holds them; anything but a symbol,
      // and a symbol given twice, are left out.
      {{12, 0, false, false, false, true, u"]a-!! ["},
       u"minlength: 12; required: [-![]]; allowed: lower, upper, digit, [-![]];",
       u"!-[]"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(Show(row.Choices));
    EXPECT_EQ(Utf16ToUtf8(RuleText(row.Choices)), Utf16ToUtf8(row.Text));
    const TKvRuleReading reading = ReadRuleChoices(row.Text);
    TKvRuleChoices expected = row.Choices;
    expected.Symbols = row.SymbolsRead;
    EXPECT_EQ(Show(reading.Choices), Show(expected));
    EXPECT_TRUE(reading.Exact);
  }
}

TEST(RuleChoicesTest, TextsTheControlsCannotShowExactlyComeAsTheClosestChoices) {
  const struct {
    const char16_t *Text;
    const char *Choices;
    bool Exact;
  } rows[] = {
      // Other words for rules the controls show.
      {u"  MinLength: 8 ;allowed: ascii-printable",
       "min 8, max 0, needs ----, symbols !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~", true},
      {u"allowed: upper, lower, digit; required: digit, digit;",
       "min 0, max 0, needs --d-, symbols ", true},
      // A known site's rules: one letter of either case, no run of three.
      {Chase, "min 8, max 32, needs --ds, symbols !#$%+/=@~", false},
      {u"required: digit; required: digit; allowed: lower, upper, digit;",
       "min 0, max 0, needs --d-, symbols ", false},
      {u"allowed: digit;", "min 0, max 0, needs ----, symbols ", false},
      {u"required: special;",
       "min 0, max 0, needs ---s, symbols !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~", false},
      {u"required: [abc]; allowed: lower, upper, digit;", "min 0, max 0, needs l---, symbols ",
       false},
      {u"allowed: unicode;", "min 0, max 0, needs ----, symbols !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~",
       false},
      // The space is allowed, which no control says.
      {u"required: digit; allowed: ascii-printable;",
       "min 0, max 0, needs --d-, symbols !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~", false},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(Utf16ToUtf8(row.Text));
    const TKvRuleReading reading = ReadRuleChoices(row.Text);
    EXPECT_EQ(Show(reading.Choices), row.Choices);
    EXPECT_EQ(reading.Exact, row.Exact);
  }
}

TEST(RuleChoicesTest, RulesThatCannotBeUsedRaiseTheirErrorAlsoWhenTheControlsWroteThem) {
  for (const std::u16string &text : {std::u16string(u"minlength: 8; colour: blue;"),
                                     std::u16string(u"minlength: 9; maxlength: 8;"),
                                     RuleText({0, 0, false, false, false, true, u""})}) {
    SCOPED_TRACE(Utf16ToUtf8(text));
    try {
      ReadRuleChoices(text);
      ADD_FAILURE() << "read";
    } catch (const EKvError &error) {
      EXPECT_NE(error.Message().find(u"The site rules \"" + text), std::u16string::npos)
          << Utf16ToUtf8(error.Message());
    }
  }
}

TEST(RuleChoicesTest, KnownRulesAreOfferedOnlyForAPlainRecipeWhosePasswordTheyRefuse) {
  const std::u16string chaseURL = u"https://secure.chase.com";
  const struct {
    const char *What;
    std::u16string URL;
    TKvPasswordRecipe Recipe;
    std::u16string Password;
    bool Offered;
  } rows[] = {
      {"no symbol", chaseURL, {}, u"abcDEF123ghiJKL4", true},
      {"a run of three", chaseURL, {}, u"ab=DEF111ghiJKL4", true},
      {"a password it takes", chaseURL, {}, u"NJcthVVN=9NPjtym", false},
      {"rules attached", chaseURL, {u"minlength: 4;", u"", 1}, u"abcDEF123ghiJKL4", false},
      {"the known rules attached", chaseURL, {Chase, u"chase.com", 1}, u"abcDEF123ghiJKL4", false},
      {"a later version", chaseURL, {u"", u"", 2}, u"abcDEF123ghiJKL4", false},
      {"a host without known rules", u"https://www.example.com", {}, u"abcDEF123ghiJKL4", false},
      {"a URL that does not split", u"https://chase.com:port", {}, u"abcDEF123ghiJKL4", false},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.What);
    const std::optional<TKvKnownRule> offer = OfferedKnownRule(row.URL, row.Recipe, row.Password);
    ASSERT_EQ(offer.has_value(), row.Offered);
    if (offer) {
      EXPECT_EQ(Utf16ToUtf8(std::u16string(offer->Rules)), Utf16ToUtf8(Chase));
      EXPECT_EQ(
          Utf16ToUtf8(KnownRuleOfferText(*offer)),
          "chase.com may refuse this password. It asks for 8 to 32 characters, with a lower-case "
          "letter or a capital, a digit and one of !#$%+/=@~; only letters, digits and !#$%+/=@~; "
          "no character more than 2 times in a row.\nClick to use its known "
          "rules: for a new account or a password change.");
    }
  }
}

TEST(RuleChoicesTest, RulesAreFromTheKnownDomainOnlyWhenTheyAreItsTextExactly) {
  const struct {
    std::u16string URL, Rules, From;
  } rows[] = {
      {u"https://secure.chase.com", Chase, u"chase.com"},
      {u"https://CHASE.com/login", Chase, u"chase.com"},
      {u"https://secure.chase.com", std::u16string(Chase) + u" ", u""},
      {u"https://secure.chase.com", u"minlength: 8;", u""},
      {u"https://www.example.com", Chase, u""},
      {u"https://secure.chase.com", u"", u""},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(Utf16ToUtf8(row.URL + u" " + row.Rules));
    EXPECT_EQ(Utf16ToUtf8(RulesFromFor(row.URL, row.Rules)), Utf16ToUtf8(row.From));
  }
}

TEST(RuleChoicesTest, RulesAreDescribedInPlainWords) {
  const struct {
    std::u16string Rules;
    std::string Words;
  } rows[] = {
      {u"minlength: 4; maxlength: 4;", "exactly 4 characters"},
      {u"maxlength: 12;", "at most 12 characters"},
      {u"minlength: 20; required: lower; required: upper; required: digit; required: special;",
       "at least 20 characters, with a lower-case letter, a capital, a digit and a symbol"},
      {u"required: upper, [_]; allowed: [-];", "with a capital or _; only capitals and -_"},
      {u"minlength: 8; maxlength: 38; required: lower, upper; required: digit; allowed: "
       u"[-äüöÄÜÖß!$%&/()=?+#,.:];",
       "8 to 38 characters, with a lower-case letter or a capital and a digit; only letters, "
       "digits and !#$%&()+,-./:=?"},
      {u"allowed: digit; max-consecutive: 1;", "only digits; no character twice in a row"},
      {u"allowed: unicode;", "any password"},
      {u"", "any password"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(Utf16ToUtf8(row.Rules));
    EXPECT_EQ(Utf16ToUtf8(DescribeRules(row.Rules)), row.Words);
  }
}

TEST(RuleChoicesTest, ThePasswordBoxSaysWhichRulesApplyWhereTheyComeFromAndTheVersion) {
  const std::string list = Utf16ToUtf8(std::u16string(KnownRulesSource));
  const struct {
    TKvPasswordRecipe Recipe;
    std::string Description;
  } rows[] = {
      {{}, ""},
      {{Chase, u"chase.com", 1},
       "Site rules from " + list +
           " for chase.com: 8 to 32 characters, with a lower-case letter or a capital, a digit and "
           "one of !#$%+/=@~; only letters, digits and !#$%+/=@~; no character more than 2 times "
           "in a row"},
      {{u"minlength: 20;", u"", 1}, "Your site rules: at least 20 characters"},
      {{u"minlength: 20;", u"", 3}, "Your site rules: at least 20 characters\nPassword version 3"},
      // Rules that cannot be used give no password; the box says what they are.
      {{u"minlength: x;", u"", 1}, "Your site rules: minlength: x;"},
      {{u"", u"", 2}, "Password version 2"},
  };
  for (const auto &row : rows)
    EXPECT_EQ(Utf16ToUtf8(RecipeDescription(row.Recipe)), row.Description);
}

} // namespace
