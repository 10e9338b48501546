// SPDX-License-Identifier: GPL-3.0-or-later
#include "crypto/Fingerprint.h"

#include <gtest/gtest.h>
#include <set>

namespace {

std::string Utf8(const std::u16string &text) {
  std::string bytes;
  for (const char16_t c : text)
    bytes.push_back(c < 0x80 ? char(c) : '?');
  return bytes;
}

TEST(FingerprintSymbols, AreTheHashsFirstThreeHalfBytes) {
  EXPECT_EQ(FingerprintSymbols({0x3E, 0x0F, 0xFF}), (TKvFingerprint{3, 14, 0}));
  EXPECT_EQ(FingerprintSymbols({0xF0, 0xF7, 0x00}), (TKvFingerprint{15, 0, 15}));
}

TEST(SymbolName, SixteenDistinctColoursAndSixteenDistinctShapes) {
  std::set<std::u16string> colours, shapes;
  for (int symbol = 0; symbol < FingerprintSymbolCount; ++symbol) {
    const std::u16string name(SymbolName(symbol));
    SCOPED_TRACE(Utf8(name));
    const std::size_t blank = name.find(u' ');
    ASSERT_NE(blank, std::u16string::npos);
    EXPECT_EQ(name.find(u' ', blank + 1), std::u16string::npos);
    colours.insert(name.substr(0, blank));
    shapes.insert(name.substr(blank + 1));
  }
  EXPECT_EQ(colours.size(), 16u);
  EXPECT_EQ(shapes.size(), 16u);
  EXPECT_THROW(SymbolName(16), std::out_of_range);
  EXPECT_THROW(SymbolName(-1), std::out_of_range);
}

TEST(FingerprintLine, NumbersTwoBlanksThenNames) {
  EXPECT_EQ(FingerprintLine({3, 14, 0}), u"3 14 0  red circle, blue star, green square");
  EXPECT_EQ(FingerprintLine({15, 15, 15}), u"15 15 15  white bolt, white bolt, white bolt");
}

TEST(PlainDuration, EachUnitFromWhereItsFirstWholeOneRoundsIn) {
  constexpr double Day = 86400, Year = 31556952;
  const std::pair<double, std::u16string> rows[] = {
      {1, u"1 second"},
      {1.4, u"1 second"},
      {2, u"2 seconds"},
      {59.4, u"59 seconds"},
      {59.6, u"1 minute"}, // rounds to 60 seconds, which is a minute
      {60, u"1 minute"},
      {100, u"2 minutes"},
      {3599, u"1 hour"},
      {3600, u"1 hour"},
      {5400, u"2 hours"},
      {Day - 1, u"1 day"},
      {Day, u"1 day"},
      {29 * Day, u"29 days"},
      {30.4 * Day, u"30 days"},
      {Year / 12, u"1 month"},
      {11 * Year / 12, u"11 months"},
      {Year - 1, u"1 year"},
      {Year, u"1 year"},
      {99 * Year, u"99 years"},
      {99.6 * Year, u"1 century"},
      {100 * Year, u"1 century"},
      {250 * Year, u"3 centuries"},
      {999 * 100 * Year, u"999 centuries"},
      {1000 * 100 * Year, u"1,000 centuries"},
      {316888 * 100 * Year, u"316,888 centuries"},
      {999999 * 100 * Year, u"999,999 centuries"},
      {1e6 * 100 * Year, u"1 million centuries"},
      {3.17e8 * 100 * Year, u"317 million centuries"},
      {1e9 * 100 * Year, u"1 billion centuries"},
      {1e12 * 100 * Year, u"1 trillion centuries"},
      {999e12 * 100 * Year, u"999 trillion centuries"},
      {1e15 * 100 * Year, u"10^15 centuries"},
      {3.2e20 * 100 * Year, u"10^20 centuries"},
  };
  for (const auto &[seconds, expected] : rows) {
    SCOPED_TRACE(seconds);
    EXPECT_EQ(PlainDuration(seconds), expected);
  }
}

TEST(TimeToGuess, TenToTheExponentGuessesAtTenBillionASecond) {
  const std::pair<int, std::u16string> rows[] = {
      {0, u"a split second"},
      {6, u"a split second"},
      {7, u"a thousandth of a second"},
      {8, u"a hundredth of a second"},
      {9, u"a tenth of a second"},
      {10, u"1 second"},
      {11, u"10 seconds"},
      {12, u"2 minutes"},
      {13, u"17 minutes"},
      {14, u"3 hours"},
      {15, u"1 day"},
      {16, u"12 days"},
      {17, u"4 months"},
      {18, u"3 years"},
      {19, u"32 years"},
      {20, u"3 centuries"},
      {23, u"3,169 centuries"},
      {26, u"3 million centuries"},
      {34, u"317 trillion centuries"},
      {35, u"10^15 centuries"},
      {300, u"10^280 centuries"},
      {1000, u"10^980 centuries"},
  };
  for (const auto &[exponent, expected] : rows) {
    SCOPED_TRACE(exponent);
    EXPECT_EQ(TimeToGuess(exponent), expected);
  }
}

TEST(StrengthSentence, NamesTheGuessesAndTheTime) {
  EXPECT_EQ(StrengthSentence(14),
            u"About 10^14 guesses. If one of your site passwords leaks, an attacker with graphics "
            u"cards (10^10 guesses a second) would need about 3 hours to find this master "
            u"password.");
  EXPECT_EQ(StrengthSentence(0).substr(0, 24), u"About 10^0 guesses. If o");
}

TEST(StrengthOf, WeakBelowTenToTheTwelveFairBelowTenToTheSixteen) {
  const std::pair<int, TKvStrength> rows[] = {{0, TKvStrength::Weak},    {11, TKvStrength::Weak},
                                              {12, TKvStrength::Fair},   {15, TKvStrength::Fair},
                                              {16, TKvStrength::Strong}, {40, TKvStrength::Strong}};
  for (const auto &[exponent, expected] : rows) {
    SCOPED_TRACE(exponent);
    EXPECT_EQ(StrengthOf(exponent), expected);
  }
}

} // namespace
