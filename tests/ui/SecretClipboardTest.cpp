#include "ui/SecretClipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QKeySequence>
#include <QMimeData>
#include <QTest>
#include <gtest/gtest.h>

namespace {

bool MarkedSecret(const QClipboard &clipboard) {
  const QMimeData *mime = clipboard.mimeData();
  return mime && mime->data("x-kde-passwordManagerHint") == "secret";
}

const QString Beyond = QString::fromStdU16String(u"\u043F\u0430\u0440\U0001F511");

TEST(SecretClipboard, CopySecretPutsTextOnTheClipboardMarkedAndNothingLeavesItAlone) {
  struct Row {
    const char *what;
    QString copied, clipboard;
    bool marked;
  };
  const Row rows[] = {
      {"a password", "Ab3$xY", "Ab3$xY", true},
      {"text outside Latin-1", Beyond, Beyond, true},
      {"nothing", "", "the user's own text", false},
  };
  QClipboard &clipboard = *QGuiApplication::clipboard();
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    clipboard.setText("the user's own text");
    CopySecret(clipboard, row.copied);
    EXPECT_EQ(clipboard.text(), row.clipboard);
    EXPECT_EQ(MarkedSecret(clipboard), row.marked);
  }
}

TEST(SecretClipboard, EveryCopyKeyOfTheBoxCopiesItsSelectionMarked) {
  TKvSecretBox box;
  box.setText("0123456789");
  box.show();
  box.setFocus();
  QClipboard &clipboard = *QGuiApplication::clipboard();
  const QList<QKeySequence> copyKeys = QKeySequence::keyBindings(QKeySequence::Copy);
  ASSERT_FALSE(copyKeys.isEmpty());
  struct Row {
    int start, length;
    QString clipboard;
    bool marked;
  };
  const Row rows[] = {
      {2, 5, "23456", true},
      {0, 10, "0123456789", true},
      {0, 0, "before", false}, // no selection: the clipboard stays
  };
  for (const QKeySequence &keys : copyKeys) {
    for (const Row &row : rows) {
      SCOPED_TRACE(keys.toString().toStdString() + " from " + std::to_string(row.start));
      clipboard.setText("before");
      box.setSelection(row.start, row.length);
      QTest::keySequence(&box, keys);
      EXPECT_EQ(clipboard.text(), row.clipboard);
      EXPECT_EQ(MarkedSecret(clipboard), row.marked);
    }
  }
  // No context menu, whose "Copy" would put the text out unmarked, and no dragging it out.
  EXPECT_EQ(box.contextMenuPolicy(), Qt::NoContextMenu);
  EXPECT_FALSE(box.dragEnabled());
}

} // namespace
