// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LoginCompletion.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>
#include <optional>

namespace {

TEST(LoginCompletion, TypingAtTheEndCompletesFromTheFirstEntryIgnoringCaseInTheEntrysCase) {
  struct Row {
    const char *what;
    const char *typed; // keys, in order; "\b" is Backspace
    QString text, selected;
    std::optional<int> current; // the completed entry; not checked where nothing completed
  };
  const Row rows[] = {
      {"the first entry that begins with the text", "bo", "Bob", "b", 1},
      {"in the entry's case, not the typed one", "BOB", "Bob", "", 1},
      {"Backspace takes the completion back, no more", "bo\b", "Bo", "", {}},
      {"typing on past a completion", "bob", "Bob", "", 1},
      {"a longer entry once the text no longer fits the first", "bobb", "bobby", "y", 2},
      {"no entry begins with the text", "bobbx", "bobbx", "", {}},
      {"no entry begins with the first key", "q", "q", "", {}},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    QComboBox box;
    box.setEditable(true);
    box.addItems({"zed", "Bob", "bobby"});
    new TKvLoginCompletion(box);
    box.setCurrentIndex(-1);
    box.clearEditText();
    box.show();
    box.lineEdit()->setFocus();
    for (const char *key = row.typed; *key; ++key) {
      if (*key == '\b')
        QTest::keyClick(box.lineEdit(), Qt::Key_Backspace);
      else
        QTest::keyClick(box.lineEdit(), *key);
    }
    EXPECT_EQ(box.currentText(), row.text);
    EXPECT_EQ(box.lineEdit()->selectedText(), row.selected);
    if (row.current) {
      EXPECT_EQ(box.currentIndex(), *row.current);
    }
  }
}

TEST(LoginCompletion, TypingInTheMiddleDoesNotComplete) {
  QComboBox box;
  box.setEditable(true);
  box.addItems({"alice"});
  new TKvLoginCompletion(box);
  box.setCurrentIndex(-1);
  box.setEditText("ace");
  box.show();
  box.lineEdit()->setFocus();
  box.lineEdit()->setCursorPosition(1);
  QTest::keyClick(box.lineEdit(), 'l');
  EXPECT_EQ(box.currentText(), "alce");
  EXPECT_TRUE(box.lineEdit()->selectedText().isEmpty());
}

} // namespace
