// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Rule texts in the password-rules language that browsers and password managers share, such as
// "minlength: 8; maxlength: 32; required: lower, upper; required: digit; allowed: [-!$%];".
// Properties: minlength, maxlength, max-consecutive (numbers); required, allowed (character
// classes upper, lower, digit, special, ascii-printable, unicode and "[...]" sets, joined by ",").
// In a set, "-" may stand only first (the language has no ranges), "]]" ends it with a literal
// "]", ";" and "," are themselves, and characters outside ASCII are ignored. Properties combine:
// the largest minlength, the smallest maxlength and max-consecutive; every required set is also
// allowed; no allowed and no required property allows every printable ASCII character.

#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The characters U+0000-U+007F a set holds.
using TKvCharacterSet = std::bitset<128>;

struct TKvPasswordRules {
  std::u16string Text;                   // as given, without leading and trailing spaces and tabs
  int32_t MinLength = 0;                 // 0: none given
  std::optional<int32_t> MaxLength;      // none: no upper bound
  std::optional<int32_t> MaxConsecutive; // none: any run
  std::vector<TKvCharacterSet> Required; // in the text's order; a property given twice is twice
  TKvCharacterSet Allowed;               // the ASCII characters a password may hold
  bool AllowsAnyCharacter = false;       // "unicode": any character beyond ASCII too

  // Lengths and character sets of a password generated for these rules: the characters
  // U+0021-U+007E of each, in code-point order (never a space, never one outside ASCII).
  int32_t
  GeneratedLength() const; // 16, made no larger than MaxLength, then no smaller than MinLength
  std::u16string GeneratedAlphabet() const;
  std::u16string GeneratedRequired(std::size_t index) const;
};

// A class of the language by its name ("upper", "lower", "digit", "special", "ascii-printable"),
// as the ASCII characters it holds; the empty set for another name.
TKvCharacterSet CharacterClass(std::u16string_view name);

// The characters U+0021-U+007E of set, in code-point order: those a password is drawn from.
std::u16string GeneratedCharacters(const TKvCharacterSet &set);

// The rules of an empty text: none at all.
bool NoPasswordRules(std::u16string_view text);

// Reads a rule text. Raises EKvError naming the rule, never giving rules, for text that does not
// parse (an unknown property or class, a number that is not one, "-" inside a set) and for rules
// no generated password can meet (an empty set, minlength above maxlength, a length outside
// 1-128, more required sets than the length, max-consecutive 0).
TKvPasswordRules ParsePasswordRules(std::u16string_view text);

// Whether password meets the rules: its length within the bounds, every character allowed, a
// character of every required set, no character more than MaxConsecutive times in a row.
bool MeetsPasswordRules(const TKvPasswordRules &rules, std::u16string_view password);
