// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/RuleChoices.h"

#include "common/KvError.h"
#include "crypto/PasswordRules.h"

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

const TKvCharacterSet Lower = CharacterClass(u"lower");
const TKvCharacterSet Upper = CharacterClass(u"upper");
const TKvCharacterSet Digits = CharacterClass(u"digit");
const TKvCharacterSet Symbols = CharacterClass(u"special");
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
  if (symbols == Symbols)
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

// "a, b and c"; "a" alone, "" for none.
std::u16string Listed(const std::vector<std::u16string> &items, std::u16string_view last) {
  std::u16string text;
  for (std::size_t i = 0; i < items.size(); ++i)
    text += (i == 0 ? u"" : i + 1 == items.size() ? std::u16string(last) : u", ") + items[i];
  return text;
}

struct TNamedSet {
  TKvCharacterSet Set;
  std::u16string_view Name;
};

// The names of the classes that set holds whole, in the given order, each taken out of set as it
// is named; then the printable characters left, as they are ("" for none).
std::vector<std::u16string> Names(TKvCharacterSet set, std::initializer_list<TNamedSet> classes,
                                  std::u16string &others) {
  std::vector<std::u16string> names;
  for (const TNamedSet &named : classes)
    if (Within(named.Set, set)) {
      names.emplace_back(named.Name);
      set &= ~named.Set;
    }
  others = GeneratedCharacters(set);
  return names;
}

// What a password needs from a required set: "a lower-case letter or a capital", "one of !#$".
std::u16string Need(const TKvCharacterSet &set) {
  std::u16string others;
  std::vector<std::u16string> names = Names(set,
                                            {{Lower, u"a lower-case letter"},
                                             {Upper, u"a capital"},
                                             {Digits, u"a digit"},
                                             {Symbols, u"a symbol"}},
                                            others);
  if (!others.empty())
    names.push_back(others.size() == 1 ? others : u"one of " + others);
  return Listed(names, u" or ");
}

// The characters a password may hold, when fewer than every printable one: "letters, digits and
// !#$".
std::u16string Only(const TKvCharacterSet &set) {
  std::u16string others;
  std::vector<std::u16string> names = Names(set,
                                            {{Lower | Upper, u"letters"},
                                             {Lower, u"lower-case letters"},
                                             {Upper, u"capitals"},
                                             {Digits, u"digits"}},
                                            others);
  if (!others.empty())
    names.push_back(others);
  return Listed(names, u" and ");
}

} // namespace

std::u16string DescribeRules(std::u16string_view text) {
  const TKvPasswordRules rules = ParsePasswordRules(text);
  std::u16string length;
  if (rules.MinLength > 0 && rules.MaxLength == rules.MinLength)
    length = u"exactly " + Number(rules.MinLength) + u" characters";
  else if (rules.MinLength > 0 && rules.MaxLength)
    length = Number(rules.MinLength) + u" to " + Number(*rules.MaxLength) + u" characters";
  else if (rules.MinLength > 0)
    length = u"at least " + Number(rules.MinLength) + u" characters";
  else if (rules.MaxLength)
    length = u"at most " + Number(*rules.MaxLength) + u" characters";
  std::vector<std::u16string> needs;
  for (const TKvCharacterSet &set : rules.Required)
    needs.push_back(Need(set));
  std::vector<std::u16string> parts;
  if (!length.empty() || !needs.empty())
    parts.push_back(length + (length.empty() || needs.empty() ? u"" : u", ") +
                    (needs.empty() ? u"" : u"with " + Listed(needs, u" and ")));
  const TKvCharacterSet printable = LettersAndDigits | Symbols;
  if (!rules.AllowsAnyCharacter && (printable & ~rules.Allowed).any())
    parts.push_back(u"only " + Only(rules.Allowed & printable));
  if (rules.MaxConsecutive == 1)
    parts.emplace_back(u"no character twice in a row");
  else if (rules.MaxConsecutive)
    parts.push_back(u"no character more than " + Number(*rules.MaxConsecutive) +
                    u" times in a row");
  std::u16string words;
  for (const std::u16string &part : parts)
    words += (words.empty() ? u"" : u"; ") + part;
  return words.empty() ? u"any password" : words;
}

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
  if (needs || symbols != Symbols)
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
  return std::u16string(known.Domain) + u" may refuse this password. It asks for " +
         DescribeRules(known.Rules) +
         u".\nClick to use its known rules: for a new account or a password change.";
}

namespace {

// Rules in plain words, or as they stand when they cannot be used (the box then shows no password).
std::u16string Described(const std::u16string &rules) {
  try {
    return DescribeRules(rules);
  } catch (const EKvError &) {
    return rules;
  }
}

} // namespace

std::u16string RecipeDescription(const TKvPasswordRecipe &recipe) {
  std::u16string description;
  if (!recipe.RulesFrom.empty())
    description = u"Site rules from " + std::u16string(KnownRulesSource) + u" for " +
                  recipe.RulesFrom + u": " + Described(recipe.Rules);
  else if (!recipe.Rules.empty())
    description = u"Your site rules: " + Described(recipe.Rules);
  if (recipe.Version > 1)
    description +=
        (description.empty() ? u"" : u"\n") + (u"Password version " + Number(recipe.Version));
  return description;
}
