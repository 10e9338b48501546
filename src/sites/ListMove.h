// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where things stand after one item of a list is moved: the one account of it that the site list,
// the window and the row of site buttons share, so that they never disagree on an order.

#include <cstdint>
#include <utility>
#include <vector>

// The item at From is taken out and put back before the item that stood at Before; Before equal
// to the list's length puts it after the last item.
struct TKvListMove {
  int32_t From = 0;
  int32_t Before = 0;
};

// Whether the move names an item of a list of count items and a place in it.
bool FitsList(const TKvListMove &move, int32_t count);
// Whether every item stays where it is: Before is the item's own place or the one just after it.
bool MovesNothing(const TKvListMove &move);
// Where the item at position stands after the move; the moved item comes to Before, or to the
// place before it when Before lay past From, as its own place closes first.
int32_t PositionAfter(int32_t position, const TKvListMove &move);

// Moves the item in items; the move must fit the list.
template <typename T> void ApplyMove(std::vector<T> &items, const TKvListMove &move) {
  T moved = std::move(items[std::size_t(move.From)]);
  items.erase(items.begin() + move.From);
  items.insert(items.begin() + PositionAfter(move.From, move), std::move(moved));
}
