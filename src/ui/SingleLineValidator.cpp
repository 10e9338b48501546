// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SingleLineValidator.h"

#include <algorithm>

namespace {

bool IsLineBreakOrNul(QChar c) {
  return c == QChar(u'\r') || c == QChar(u'\n') || c == QChar(u'\0');
}

} // namespace

QValidator::State TKvSingleLineValidator::validate(QString &input, int &pos) const {
  const auto bad = std::find_if(input.cbegin(), input.cend(), IsLineBreakOrNul);
  if (bad == input.cend()) {
    FLast = input;
    return Acceptable;
  }
  // The changed part is what lies between the text shared with the last accepted one at the
  // front and at the back.
  qsizetype front = 0;
  while (front < input.size() && front < FLast.size() && input[front] == FLast[front])
    ++front;
  qsizetype back = 0;
  while (back < input.size() - front && back < FLast.size() - front &&
         input[input.size() - 1 - back] == FLast[FLast.size() - 1 - back])
    ++back;
  QString inserted = input.mid(front, input.size() - front - back);
  const auto cut = std::find_if(inserted.cbegin(), inserted.cend(), IsLineBreakOrNul);
  inserted.truncate(cut - inserted.cbegin());
  QString result = input.left(front) + inserted + input.right(back);
  // Text the box held before it had this validator is cut the same way.
  const auto rest = std::find_if(result.cbegin(), result.cend(), IsLineBreakOrNul);
  result.truncate(rest - result.cbegin());
  input = result;
  pos = int(std::min<qsizetype>(front + inserted.size(), result.size()));
  FLast = input;
  return Acceptable;
}
