// SPDX-License-Identifier: GPL-3.0-or-later
#include "crypto/PasswordRules.h"

#include "common/KvError.h"

#include <algorithm>
#include <array>
#include <limits>

namespace {

constexpr int32_t DefaultLength = 16;
constexpr int32_t LongestLength = 128;
constexpr char16_t FirstGenerated = u'!', LastGenerated = u'~';

TKvCharacterSet Range(char16_t first, char16_t last) {
  TKvCharacterSet set;
  for (char16_t c = first; c <= last; ++c)
    set.set(c);
  return set;
}

TKvCharacterSet Punctuation() {
  return Range(u'!', u'/') | Range(u':', u'@') | Range(u'[', u'`') | Range(u'{', u'~');
}

struct TNamedClass {
  std::u16string_view Name;
  TKvCharacterSet Set;
  bool AnyCharacter;
};

const std::array<TNamedClass, 6> &NamedClasses() {
  static const std::array<TNamedClass, 6> classes{{
      {u"upper", Range(u'A', u'Z'), false},
      {u"lower", Range(u'a', u'z'), false},
      {u"digit", Range(u'0', u'9'), false},
      {u"special", Punctuation(), false},
      {u"ascii-printable", Range(u' ', u'~'), false},
      {u"unicode", Range(u' ', u'~'), true},
  }};
  return classes;
}

bool SameLetters(std::u16string_view text, std::u16string_view lowerCase) {
  return std::equal(text.begin(), text.end(), lowerCase.begin(), lowerCase.end(),
                    [](char16_t a, char16_t b) {
                      return (a >= u'A' && a <= u'Z' ? char16_t(a - u'A' + u'a') : a) == b;
                    });
}

std::u16string Decimal(int64_t number) {
  const std::string digits = std::to_string(number);
  return {digits.begin(), digits.end()};
}

// The smallest of the values given for a property so far.
std::optional<int32_t> Smallest(std::optional<int32_t> sofar, int32_t value) {
  return std::min(sofar.value_or(value), value);
}

std::u16string_view TrimSpaces(std::u16string_view text) {
  const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  return text;
}

// One reading of a rule text, from left to right; every fault is raised with the whole text.
class TRuleReader {
public:
  explicit TRuleReader(std::u16string_view text) : FText(text) {}

  TKvPasswordRules Read() {
    TKvPasswordRules rules;
    rules.Text = std::u16string(FText);
    bool setsGiven = false;
    while (SkipBlanks(), !AtEnd()) {
      if (Peek() == u';') {
        ++FPosition;
        continue;
      }
      const std::u16string_view name = Word();
      if (name.empty())
        Fail(u"\"" + std::u16string(1, Peek()) + u"\" does not begin a property");
      SkipBlanks();
      if (AtEnd() || Peek() != u':')
        Fail(u"\":\" is missing after \"" + std::u16string(name) + u"\"");
      ++FPosition;
      SkipBlanks();
      if (SameLetters(name, u"minlength"))
        rules.MinLength = std::max(rules.MinLength, Number(name));
      else if (SameLetters(name, u"maxlength"))
        rules.MaxLength = Smallest(rules.MaxLength, Number(name));
      else if (SameLetters(name, u"max-consecutive"))
        rules.MaxConsecutive = Smallest(rules.MaxConsecutive, Number(name));
      else if (SameLetters(name, u"required")) {
        rules.Required.push_back(Classes(rules));
        rules.Allowed |= rules.Required.back();
        setsGiven = true;
      } else if (SameLetters(name, u"allowed")) {
        rules.Allowed |= Classes(rules);
        setsGiven = true;
      } else
        Fail(u"\"" + std::u16string(name) +
             u"\" is not a property (minlength, maxlength, max-consecutive, required, allowed)");
      SkipBlanks();
      if (!AtEnd() && Peek() != u';')
        Fail(u"\";\" is missing before \"" + std::u16string(FText.substr(FPosition)) + u"\"");
    }
    if (!setsGiven)
      rules.Allowed = NamedClasses()[4].Set;
    return rules;
  }

  [[noreturn]] void Fail(const std::u16string &reason) const {
    throw EKvError(u"The site rules \"" + std::u16string(FText) + u"\" cannot be used: " + reason +
                   u".");
  }

private:
  bool AtEnd() const { return FPosition >= FText.size(); }
  char16_t Peek() const { return FText[FPosition]; }
  void SkipBlanks() {
    while (!AtEnd() && (Peek() == u' ' || Peek() == u'\t'))
      ++FPosition;
  }

  std::u16string_view Word() {
    const std::size_t start = FPosition;
    while (!AtEnd() && ((Peek() >= u'a' && Peek() <= u'z') || (Peek() >= u'A' && Peek() <= u'Z') ||
                        Peek() == u'-'))
      ++FPosition;
    return FText.substr(start, FPosition - start);
  }

  // A whole number; one beyond the 32-bit range stands for the largest.
  int32_t Number(std::u16string_view property) {
    const std::size_t start = FPosition;
    int64_t value = 0;
    while (!AtEnd() && Peek() >= u'0' && Peek() <= u'9') {
      value = std::min<int64_t>(value * 10 + (Peek() - u'0'), std::numeric_limits<int32_t>::max());
      ++FPosition;
    }
    const std::size_t end = std::min(FText.find(u';', start), FText.size());
    if (FPosition == start || TrimSpaces(FText.substr(FPosition, end - FPosition)).size() > 0)
      Fail(u"\"" + std::u16string(TrimSpaces(FText.substr(start, end - start))) + u"\" after " +
           std::u16string(property) + u" is not a number");
    return int32_t(value);
  }

  // Classes and sets joined by ",".
  TKvCharacterSet Classes(TKvPasswordRules &rules) {
    TKvCharacterSet set;
    for (;;) {
      SkipBlanks();
      if (!AtEnd() && Peek() == u'[')
        set |= Set();
      else
        set |= NamedClass(rules);
      SkipBlanks();
      if (AtEnd() || Peek() != u',')
        return set;
      ++FPosition;
    }
  }

  TKvCharacterSet NamedClass(TKvPasswordRules &rules) {
    const std::size_t start = FPosition;
    const std::u16string_view name = Word();
    for (const TNamedClass &named : NamedClasses())
      if (!name.empty() && SameLetters(name, named.Name)) {
        rules.AllowsAnyCharacter = rules.AllowsAnyCharacter || named.AnyCharacter;
        return named.Set;
      }
    const std::size_t end = std::min(FText.find_first_of(u",;", start), FText.size());
    const std::u16string_view given = TrimSpaces(FText.substr(start, end - start));
    if (given.empty())
      Fail(u"a character class is missing");
    Fail(u"\"" + std::u16string(given) +
         u"\" is not a character class (upper, lower, digit, special, ascii-printable, unicode, "
         u"or characters in [ ])");
  }

  // "[...]": "-" only first, "]]" a "]" at the end, characters outside ASCII left out.
  TKvCharacterSet Set() {
    TKvCharacterSet set;
    ++FPosition;
    if (!AtEnd() && Peek() == u'-') {
      set.set(u'-');
      ++FPosition;
    }
    for (;; ++FPosition) {
      if (AtEnd())
        Fail(u"a set of characters has no closing \"]\"");
      const char16_t c = Peek();
      if (c == u']') {
        const bool literal = FPosition + 1 < FText.size() && FText[FPosition + 1] == u']';
        if (literal)
          set.set(u']');
        FPosition += literal ? 2 : 1;
        return set;
      }
      if (c == u'-')
        Fail(u"\"-\" may stand only first in a set of characters (there are no ranges)");
      if (c < 0x80)
        set.set(c);
    }
  }

  std::u16string_view FText;
  std::size_t FPosition = 0;
};

// The characters a password is ever drawn from.
const TKvCharacterSet &Generatable() {
  static const TKvCharacterSet set = Range(FirstGenerated, LastGenerated);
  return set;
}

} // namespace

TKvCharacterSet CharacterClass(std::u16string_view name) {
  for (const TNamedClass &named : NamedClasses())
    if (named.Name == name)
      return named.Set;
  return {};
}

std::u16string GeneratedCharacters(const TKvCharacterSet &set) {
  std::u16string characters;
  characters.reserve(LastGenerated - FirstGenerated + 1);
  for (char16_t c = FirstGenerated; c <= LastGenerated; ++c)
    if (set[c])
      characters.push_back(c);
  return characters;
}

int32_t TKvPasswordRules::GeneratedLength() const {
  return std::max(std::min(DefaultLength, MaxLength.value_or(DefaultLength)), MinLength);
}

std::u16string TKvPasswordRules::GeneratedAlphabet() const {
  return GeneratedCharacters(Allowed);
}

std::u16string TKvPasswordRules::GeneratedRequired(std::size_t index) const {
  return GeneratedCharacters(Required.at(index));
}

bool NoPasswordRules(std::u16string_view text) {
  return TrimSpaces(text).empty();
}

TKvPasswordRules ParsePasswordRules(std::u16string_view text) {
  TRuleReader reader(TrimSpaces(text));
  TKvPasswordRules rules = reader.Read();
  const int32_t length = rules.GeneratedLength();
  if (rules.MaxLength && rules.MinLength > *rules.MaxLength)
    reader.Fail(u"minlength " + Decimal(rules.MinLength) + u" is more than maxlength " +
                Decimal(*rules.MaxLength));
  if (length < 1 || length > LongestLength)
    reader.Fail(u"a password of " + Decimal(length) + u" characters is outside 1 to " +
                Decimal(LongestLength));
  if (rules.MaxConsecutive == 0)
    reader.Fail(u"max-consecutive 0 allows no password");
  if ((rules.Allowed & Generatable()).none())
    reader.Fail(u"it allows no printable ASCII character");
  for (std::size_t i = 0; i < rules.Required.size(); ++i)
    if ((rules.Required[i] & Generatable()).none())
      reader.Fail(u"required set " + Decimal(int64_t(i) + 1) +
                  u" holds no printable ASCII character");
  if (int64_t(rules.Required.size()) > length)
    reader.Fail(Decimal(int64_t(rules.Required.size())) + u" required sets do not fit in " +
                Decimal(length) + u" characters");
  return rules;
}

bool MeetsPasswordRules(const TKvPasswordRules &rules, std::u16string_view password) {
  const auto allowed = [&](char16_t c) {
    return c < 0x80 ? rules.Allowed.test(c) : rules.AllowsAnyCharacter;
  };
  if (int64_t(password.size()) < rules.MinLength ||
      (rules.MaxLength && int64_t(password.size()) > *rules.MaxLength) ||
      !std::all_of(password.begin(), password.end(), allowed))
    return false;
  for (const TKvCharacterSet &set : rules.Required)
    if (std::none_of(password.begin(), password.end(),
                     [&](char16_t c) { return c < 0x80 && set.test(c); }))
      return false;
  if (rules.MaxConsecutive) {
    int32_t run = 0;
    for (std::size_t i = 0; i < password.size(); ++i) {
      run = i > 0 && password[i] == password[i - 1] ? run + 1 : 1;
      if (run > *rules.MaxConsecutive)
        return false;
    }
  }
  return true;
}
