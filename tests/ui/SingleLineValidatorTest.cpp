// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SingleLineValidator.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <gtest/gtest.h>

namespace {

QString WithNul(const char *before, const char *after) {
  return QString::fromLatin1(before) + QChar(u'\0') + QString::fromLatin1(after);
}

TEST(SingleLineValidator, TextBroughtInIsCutAtItsFirstLineBreakOrNulAndTheRestStays) {
  struct Row {
    const char *what;
    QString before;
    int cursor;
    QString pasted, after;
    int cursorAfter;
  };
  const Row rows[] = {
      {"two lines into an empty box", "", 0, "https://a.example\r\nhttps://b.example",
       "https://a.example", 17},
      {"a line break in the middle of the text", "https://.example", 8, "a\nb", "https://a.example",
       9},
      {"a NUL", "ab", 1, WithNul("x", "y"), "axb", 2},
      {"a line break first brings nothing", "ab", 2, "\rx", "ab", 2},
      {"a lone CR", "ab", 0, "\r", "ab", 0},
      {"plain text passes", "ab", 1, "xyz", "axyzb", 4},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    QLineEdit box;
    box.setValidator(new TKvSingleLineValidator(&box));
    box.setText(row.before);
    box.setCursorPosition(row.cursor);
    QGuiApplication::clipboard()->setText(row.pasted);
    box.paste();
    EXPECT_EQ(box.text(), row.after);
    EXPECT_EQ(box.cursorPosition(), row.cursorAfter);
  }
}

TEST(SingleLineValidator, TextSetByTheProgramIsCutTooAlsoTextTheBoxHadBefore) {
  QLineEdit box;
  box.setText("held\nbefore");
  box.setValidator(new TKvSingleLineValidator(&box));
  box.setText("typed\nby program");
  EXPECT_EQ(box.text(), "typed");

  // validate() itself, for text that was in a box before it had the validator.
  TKvSingleLineValidator validator;
  QString text = WithNul("left", "right");
  int pos = 0;
  EXPECT_EQ(validator.validate(text, pos), QValidator::Acceptable);
  EXPECT_EQ(text, "left");
}

} // namespace
