// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A site's password rules as the site rules dialog's plain controls show them, and what the window
// says and offers of a site's rules. The rule text is what a password is derived from: the
// controls write a text of their own only when the user changes one of them; a text they cannot
// show exactly keeps its every character, the controls showing what comes closest.

#include "sites/KnownRules.h"
#include "sites/SiteSession.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The printable ASCII characters that are neither letters nor digits, in code-point order.
inline constexpr std::u16string_view AllSymbols = u"!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";

struct TKvRuleChoices {
  int32_t MinLength = 0; // 0: none
  int32_t MaxLength = 0; // 0: none
  bool NeedsLower = false;
  bool NeedsUpper = false;
  bool NeedsDigit = false;
  bool NeedsSymbol = false;           // one of Symbols
  std::u16string Symbols{AllSymbols}; // those the site accepts besides letters and digits

  bool operator==(const TKvRuleChoices &) const = default;
};

// The rule text of the choices: "" for the default choices; otherwise minlength, maxlength, one
// "required" per need (letters, digits, then the symbols), and "allowed: lower, upper, digit" with
// the symbols whenever a need or fewer symbols than all restrict the characters. Symbols are
// written as "special" when they are all of AllSymbols, else as a set; characters of Symbols that
// are no symbol are left out. Needing a symbol with none accepted gives a text that does not parse.
std::u16string RuleText(const TKvRuleChoices &choices);

struct TKvRuleReading {
  TKvRuleChoices Choices;
  bool Exact = false; // the choices give rules that are the text's, word for word or not
};

// The choices that come closest to the text's rules: its lengths; a need of each required set that
// lies within the lower-case letters, the capitals, the digits, or holds neither letters nor
// digits; the allowed symbols. Raises the error of ParsePasswordRules for text that cannot be used.
TKvRuleReading ReadRuleChoices(std::u16string_view text);

// Where rules come from when they are stored for url: the known rule's domain when they are that
// rule's text exactly, else "" (the user's own).
std::u16string RulesFromFor(const std::u16string &url, std::u16string_view rules);

// The known rule the window offers beside password, the password shown for url with recipe: only
// for a plain recipe (no rules, version 1), when the host has a known rule that password breaks.
std::optional<TKvKnownRule> OfferedKnownRule(const std::u16string &url,
                                             const TKvPasswordRecipe &recipe,
                                             std::u16string_view password);

// The rules in plain words: "8 to 32 characters, with a lower-case letter or a capital, a digit and
// one of !#$%; only letters, digits and !#$%; no character more than 2 times in a row". Raises the
// error of ParsePasswordRules for text that cannot be used.
std::u16string DescribeRules(std::u16string_view text);

// The offer's words: "<domain> may refuse this password. It asks for ...".
std::u16string KnownRuleOfferText(const TKvKnownRule &known);

// What the password box says of the recipe of the password it shows: the rules in plain words and
// where they come from, and the version when above 1, one per line; "" for a plain recipe.
std::u16string RecipeDescription(const TKvPasswordRecipe &recipe);
