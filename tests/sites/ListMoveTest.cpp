// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/ListMove.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

TEST(ListMove, EveryItemStandsWhereTakingTheMovedOneOutAndPuttingItBackLeavesIt) {
  const struct {
    TKvListMove Move;
    const char *Before, *After;
    bool Nothing;
  } rows[] = {
      {{0, 0}, "ABCDE", "ABCDE", true}, // onto its own place
      {{0, 1}, "ABCDE", "ABCDE", true}, // before the item just after it
      {{0, 2}, "ABCDE", "BACDE", false},
      {{0, 5}, "ABCDE", "BCDEA", false}, // the length: after the last
      {{4, 0}, "ABCDE", "EABCD", false},
      {{2, 1}, "ABCDE", "ACBDE", false},
      {{2, 3}, "ABCDE", "ABCDE", true},
      {{3, 5}, "ABCDE", "ABCED", false},
      {{4, 5}, "ABCDE", "ABCDE", true}, // the last stays the last
      {{1, 0}, "AB", "BA", false},
      {{0, 2}, "AB", "BA", false},
      {{0, 1}, "A", "A", true},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(testing::Message()
                 << row.Before << ": " << row.Move.From << " before " << row.Move.Before);
    const std::string before = row.Before;
    EXPECT_TRUE(FitsList(row.Move, int32_t(before.size())));
    EXPECT_EQ(MovesNothing(row.Move), row.Nothing);
    std::vector<char> items(before.begin(), before.end());
    ApplyMove(items, row.Move);
    EXPECT_EQ(std::string(items.begin(), items.end()), row.After);
    for (int32_t position = 0; position < int32_t(before.size()); ++position)
      EXPECT_EQ(row.After[PositionAfter(position, row.Move)], before[std::size_t(position)])
          << "item " << before[std::size_t(position)];
  }
}

TEST(ListMove, FitsAListOnlyWithOneOfItsItemsAndAPlaceInIt) {
  const struct {
    TKvListMove Move;
    int32_t Count;
    bool Fits;
  } rows[] = {
      {{0, 0}, 1, true},  {{0, 1}, 1, true},  {{2, 3}, 3, true},   {{0, 0}, 0, false},
      {{3, 0}, 3, false}, {{0, 4}, 3, false}, {{-1, 0}, 3, false}, {{0, -1}, 3, false},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(testing::Message()
                 << row.Move.From << " before " << row.Move.Before << " of " << row.Count);
    EXPECT_EQ(FitsList(row.Move, row.Count), row.Fits);
  }
}

} // namespace
