// SPDX-License-Identifier: GPL-3.0-or-later
#include "crypto/Fingerprint.h"

#include <cmath>
#include <cstdint>

namespace {

// Shapes carry the meaning; the colours differ as well, in lightness as much as in hue, so that
// the common colour-vision deficiencies still tell every pair apart (scripts/draw-images.py
// checks it).
constexpr std::array<std::u16string_view, FingerprintSymbolCount> Names = {
    u"green square",   u"orange triangle", u"black cross", u"red circle",
    u"purple diamond", u"pink heart",      u"yellow moon", u"brown key",
    u"cyan drop",      u"grey cloud",      u"navy flag",   u"teal hourglass",
    u"olive crown",    u"lime arrow",      u"blue star",   u"white bolt"};

std::u16string Number(long long value) {
  const std::string digits = std::to_string(value);
  return {digits.begin(), digits.end()};
}

// 3169 -> "3,169".
std::u16string Grouped(long long value) {
  std::u16string digits = Number(value);
  for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
    digits.insert(static_cast<std::size_t>(at), 1, u',');
  return digits;
}

struct TUnit {
  double Seconds;
  std::u16string_view One, Many;
};

constexpr double Year = 31556952; // 365.2425 days
constexpr double Century = 100 * Year;
constexpr std::array<TUnit, 7> Units = {{{1, u"second", u"seconds"},
                                         {60, u"minute", u"minutes"},
                                         {3600, u"hour", u"hours"},
                                         {86400, u"day", u"days"},
                                         {Year / 12, u"month", u"months"},
                                         {Year, u"year", u"years"},
                                         {Century, u"century", u"centuries"}}};

std::u16string Counted(const std::u16string &count, bool one, const TUnit &unit) {
  return count + u" " + std::u16string(one ? unit.One : unit.Many);
}

// Centuries beyond a thousand: grouped digits, then millions, billions and trillions, then powers
// of ten (log10 of the count given, so that no count overflows).
std::u16string ManyCenturies(double log10Centuries) {
  if (log10Centuries < 16) {
    const double centuries = std::pow(10.0, log10Centuries);
    if (centuries < 999999.5)
      return Grouped(std::llround(centuries)) + u" centuries";
    constexpr std::array<std::u16string_view, 3> Scales = {u"million", u"billion", u"trillion"};
    double scale = 1e6;
    for (const std::u16string_view name : Scales) {
      const long long count = std::llround(centuries / scale);
      if (count < 1000)
        return Number(count) + u" " + std::u16string(name) + u" centuries";
      scale *= 1000;
    }
  }
  // A whole power of ten must not come out one lower for a rounding error of the logarithm.
  return u"10^" + Number(static_cast<long long>(std::floor(log10Centuries + 1e-9))) + u" centuries";
}

} // namespace

TKvFingerprint FingerprintSymbols(const ByteArray &hash) {
  return {hash.at(0) >> 4, hash.at(0) & 15, hash.at(1) >> 4};
}

std::u16string_view SymbolName(int symbol) {
  return Names.at(static_cast<std::size_t>(symbol));
}

std::u16string SymbolNames(const TKvFingerprint &fingerprint) {
  std::u16string names;
  for (const int symbol : fingerprint)
    names += (names.empty() ? u"" : u", ") + std::u16string(SymbolName(symbol));
  return names;
}

std::u16string FingerprintLine(const TKvFingerprint &fingerprint) {
  std::u16string numbers;
  for (const int symbol : fingerprint)
    numbers += (numbers.empty() ? u"" : u" ") + Number(symbol);
  return numbers + u"  " + SymbolNames(fingerprint);
}

std::u16string PlainDuration(double seconds) {
  std::size_t unit = 0;
  while (unit + 1 < Units.size() && seconds >= Units[unit + 1].Seconds)
    ++unit;
  if (unit + 1 == Units.size() && seconds / Century >= 999.5)
    return ManyCenturies(std::log10(seconds / Century));
  long long count = std::llround(seconds / Units[unit].Seconds);
  // 59.6 seconds is "1 minute", not "60 seconds".
  if (unit + 1 < Units.size() && double(count) * Units[unit].Seconds >= Units[unit + 1].Seconds) {
    ++unit;
    count = std::llround(seconds / Units[unit].Seconds);
  }
  return Counted(Number(count), count == 1, Units[unit]);
}

std::u16string TimeToGuess(int exponent) {
  // 10^exponent guesses at 10^10 a second take 10^(exponent - 10) seconds.
  const int log10Seconds = exponent - 10;
  if (log10Seconds < -3)
    return u"a split second";
  if (log10Seconds < 0) {
    constexpr std::array<std::u16string_view, 3> Fractions = {u"a thousandth", u"a hundredth",
                                                              u"a tenth"};
    const int fraction = log10Seconds + 3;
    return std::u16string(Fractions[static_cast<std::size_t>(fraction)]) + u" of a second";
  }
  if (log10Seconds > 100)
    return ManyCenturies(double(log10Seconds) - std::log10(Century));
  return PlainDuration(std::pow(10.0, log10Seconds));
}

std::u16string StrengthSentence(int exponent) {
  return u"About 10^" + Number(exponent) +
         u" guesses. If one of your site passwords leaks, an attacker with graphics cards (10^10 "
         u"guesses a second) would need about " +
         TimeToGuess(exponent) + u" to find this master password.";
}

TKvStrength StrengthOf(int exponent) {
  if (exponent < 12)
    return TKvStrength::Weak;
  if (exponent < 16)
    return TKvStrength::Fair;
  return TKvStrength::Strong;
}
