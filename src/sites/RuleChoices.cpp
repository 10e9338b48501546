// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/RuleChoices.h"

#include "common/KvError.h"
#include "crypto/PasswordRules.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

TKvCharacterSet Range(char16_t first, char16_t last) {
  TKvCharacterSet set;
  for (char16_t c = first; c <= last; ++c)
    set.set(c);
  return set;
}

const TKvCharacterSet Lower = Range(u'a', u'z');
const TKvCharacterSet Upper = Range(u'A', u'Z');
const TKvCharacterSet Digits = Range(u'0', u'9');
const TKvCharacterSet LettersAndDigits = Lower | Upper | Digits;

TKvCharacterSet SymbolSet(std::u16string_view symbols) {
  TKvCharacterSet set;
  for (const char16_t c : symbols)
    if (AllSymbols.find(c) != std::u16string_view::npos)
      set.set(c);
  return set;
}

// "special" for every symbol; else a set in code-point order, but "-" first and "]" last, the
// only places the language gives them.
std::u16string SymbolClass(const TKvCharacterSet &symbols) {
  if (symbols == SymbolSet(AllSymbols))
    return u"special";
  std::u16string set = u"[";
  if (symbols.test(u'-'))
    set += u'-';
  for (const char16_t c : AllSymbols)
    if (symbols.test(c) && c != u'-' && c != u']')
      set += c;
  if (symbols.test(u']'))
    set += u']';
  return set + u']';
}

std::u16string Number(int32_t value) {
  const std::string digits = std::to_string(value);
  return {digits.begin(), digits.end()};
}

bool Within(const TKvCharacterSet &set, const TKvCharacterSet &within) {
  return (set & ~within).none();
}

// The rules as a value: the required sets in any order, the text left aside.
bool SameRules(const TKvPasswordRules &a, const TKvPasswordRules &b) {
  const auto sorted = [](const TKvPasswordRules &rules) {
    std::vector<std::string> sets;
    for (const TKvCharacterSet &set : rules.Required)
      sets.push_back(set.to_string());
    std::sort(sets.begin(), sets.end());
    return sets;
  };
  return a.MinLength == b.MinLength && a.MaxLength == b.MaxLength &&
         a.MaxConsecutive == b.MaxConsecutive && a.Allowed == b.Allowed &&
         a.AllowsAnyCharacter == b.AllowsAnyCharacter && sorted(a) == sorted(b);
}

// Whether the choices' text gives the rules. It may not parse: a required set of space alone
// reads as a need of a symbol, where no symbol is allowed.
bool ShownExactly(const TKvPasswordRules &rules, const std::u16string &choicesText) {
  try {
    return SameRules(rules, ParsePasswordRules(choicesText));
  } catch (const EKvError &) {
    return false;
  }
}

} // namespace

std::u16string RuleText(const TKvRuleChoices &choices) {
  const TKvCharacterSet symbols = SymbolSet(choices.Symbols);
  std::vector<std::u16string> parts;
  if (choices.MinLength > 0)
    parts.push_back(u"minlength: " + Number(choices.MinLength) + u";");
  if (choices.MaxLength > 0)
    parts.push_back(u"maxlength: " + Number(choices.MaxLength) + u";");
  if (choices.NeedsLower)
    parts.emplace_back(u"required: lower;");
  if (choices.NeedsUpper)
    parts.emplace_back(u"required: upper;");
  if (choices.NeedsDigit)
    parts.emplace_back(u"required: digit;");
  if (choices.NeedsSymbol)
    parts.push_back(u"required: " + SymbolClass(symbols) + u";");
  // Without "allowed", the required sets alone would be allowed.
  const bool needs =
      choices.NeedsLower || choices.NeedsUpper || choices.NeedsDigit || choices.NeedsSymbol;
  if (needs || symbols != SymbolSet(AllSymbols))
    parts.push_back(u"allowed: lower, upper, digit" +
                    (symbols.any() ? u", " + SymbolClass(symbols) : std::u16string()) + u";");
  std::u16string text;
  for (const std::u16string &part : parts)
    text += (text.empty() ? u"" : u" ") + part;
  return text;
}

TKvRuleReading ReadRuleChoices(std::u16string_view text) {
  const TKvPasswordRules rules = ParsePasswordRules(text);
  TKvRuleChoices choices;
  choices.MinLength = rules.MinLength;
  choices.MaxLength = rules.MaxLength.value_or(0);
  for (const TKvCharacterSet &set : rules.Required) {
    choices.NeedsLower = choices.NeedsLower || Within(set, Lower);
    choices.NeedsUpper = choices.NeedsUpper || Within(set, Upper);
    choices.NeedsDigit = choices.NeedsDigit || Within(set, Digits);
    choices.NeedsSymbol = choices.NeedsSymbol || (set & LettersAndDigits).none();
  }
  choices.Symbols.clear();
  for (const char16_t c : AllSymbols)
    if (rules.Allowed.test(c))
      choices.Symbols += c;
  return {choices, ShownExactly(rules, RuleText(choices))};
}

std::u16string RulesFromFor(const std::u16string &url, std::u16string_view rules) {
  const std::optional<TKvKnownRule> known = KnownRuleForURL(url);
  return known && known->Rules == rules ? std::u16string(known->Domain) : std::u16string();
}

std::optional<TKvKnownRule> OfferedKnownRule(const std::u16string &url,
                                             const TKvPasswordRecipe &recipe,
                                             std::u16string_view password) {
  if (!recipe.Rules.empty() || recipe.Version != 1)
    return std::nullopt;
  const std::optional<TKvKnownRule> known = KnownRuleForURL(url);
  if (!known || MeetsPasswordRules(ParsePasswordRules(known->Rules), password))
    return std::nullopt;
  return known;
}

std::u16string KnownRuleOfferText(const TKvKnownRule &known) {
  return std::u16string(known.Domain) + u" may refuse this password: its known rules ask for\n" +
         std::u16string(known.Rules) + u"\nUse them for a new account or a password change.";
}

std::u16string RecipeDescription(const TKvPasswordRecipe &recipe) {
  std::u16string description;
  if (!recipe.RulesFrom.empty())
    description = u"Site rules from " + std::u16string(KnownRulesSource) + u" for " +
                  recipe.RulesFrom + u": " + recipe.Rules;
  else if (!recipe.Rules.empty())
    description = u"Your site rules: " + recipe.Rules;
  if (recipe.Version > 1)
    description +=
        (description.empty() ? u"" : u"\n") + (u"Password version " + Number(recipe.Version));
  return description;
}
