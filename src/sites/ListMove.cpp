// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/ListMove.h"

bool FitsList(const TKvListMove &move, int32_t count) {
  return move.From >= 0 && move.From < count && move.Before >= 0 && move.Before <= count;
}

bool MovesNothing(const TKvListMove &move) {
  return move.Before == move.From || move.Before == move.From + 1;
}

int32_t PositionAfter(int32_t position, const TKvListMove &move) {
  const int32_t to = move.Before > move.From ? move.Before - 1 : move.Before;
  if (position == move.From)
    return to;
  if (move.From < position && position <= to)
    return position - 1;
  if (to <= position && position < move.From)
    return position + 1;
  return position;
}
