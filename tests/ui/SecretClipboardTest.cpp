// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SecretClipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QKeySequence>
#include <QMimeData>
#include <QTest>
#include <chrono>
#include <functional>
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

// The guard's delay in these tests; QTest::qWait runs the event loop meanwhile.
constexpr std::chrono::milliseconds Delay(150);

TEST(ClipboardGuard, ClearsItsCopyAfterTheDelayOnlyWhileTheClipboardStillHoldsIt) {
  QClipboard &clipboard = *QGuiApplication::clipboard();
  struct Row {
    const char *what;
    std::function<void()> meanwhile;
    bool stillOurs;
    QStringList formatsAfter; // nothing once cleared; all of the user's data when replaced
  };
  const Row rows[] = {
      {"nothing else copied", [] {}, true, {}},
      {"the user copied other text",
       [&] { clipboard.setText("the user's own"); },
       false,
       {"text/plain"}},
      // The same text, copied by someone else, is no longer the program's copy.
      {"the user copied the same text",
       [&] { clipboard.setText("Ab3$xY"); },
       false,
       {"text/plain"}},
      {"the user copied data without text",
       [&] {
         auto *mime = new QMimeData;
         mime->setData("application/x-own", "bytes");
         clipboard.setMimeData(mime);
       },
       false,
       {"application/x-own"}},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    clipboard.setText("before");
    TKvClipboardGuard guard(clipboard, Delay);
    guard.Copy("Ab3$xY");
    EXPECT_EQ(clipboard.text(), "Ab3$xY");
    EXPECT_TRUE(MarkedSecret(clipboard));
    EXPECT_TRUE(guard.HoldsOurs());
    EXPECT_TRUE(guard.Pending());
    row.meanwhile();
    const QString meanwhile = clipboard.text();
    EXPECT_EQ(guard.HoldsOurs(), row.stillOurs);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !guard.Pending(); }, int(Delay.count()) * 10));
    const QMimeData *after = clipboard.mimeData();
    EXPECT_EQ(after ? after->formats() : QStringList(), row.formatsAfter);
    EXPECT_EQ(clipboard.text(), row.stillOurs ? QString() : meanwhile);
  }
}

TEST(ClipboardGuard, EachCopyStartsTheDelayAgainAndAnEmptyCopyChangesNothing) {
  QClipboard &clipboard = *QGuiApplication::clipboard();
  const int delay = int(Delay.count()) * 2;
  TKvClipboardGuard guard(clipboard, std::chrono::milliseconds(delay));
  QElapsedTimer sinceFirst, sinceSecond;
  sinceFirst.start();
  guard.Copy("first");
  QTest::qWait(delay / 2);
  sinceSecond.start();
  guard.Copy("second");
  // Past the first copy's moment; on a machine so busy that the second's has passed too, the
  // clearing is all there is to see.
  ASSERT_TRUE(QTest::qWaitFor([&] { return sinceFirst.elapsed() > delay + 30; }));
  if (sinceSecond.elapsed() < delay - 20) {
    EXPECT_EQ(clipboard.text(), "second");
    EXPECT_TRUE(guard.Pending());
  }
  guard.Copy(""); // leaves the clipboard and the delay as they are
  EXPECT_EQ(clipboard.text(), "second");
  EXPECT_TRUE(QTest::qWaitFor([&] { return clipboard.text().isEmpty(); }, 2000));
}

TEST(ClipboardGuard, EndingClearsWhatIsStillOursAndAZeroDelayClearsOnlyThen) {
  QClipboard &clipboard = *QGuiApplication::clipboard();
  struct Row {
    const char *what;
    std::chrono::milliseconds delay;
    bool userCopies;
    QString after;
  };
  const Row rows[] = {
      {"still ours", std::chrono::minutes(1), false, ""},
      {"no timed clearing, still ours", std::chrono::milliseconds(0), false, ""},
      {"replaced by the user", std::chrono::minutes(1), true, "the user's own"},
      {"no timed clearing, replaced", std::chrono::milliseconds(0), true, "the user's own"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    {
      TKvClipboardGuard guard(clipboard, row.delay);
      guard.Copy("Ab3$xY");
      EXPECT_EQ(guard.Pending(), row.delay.count() > 0);
      if (row.delay.count() == 0) {
        QTest::qWait(int(Delay.count()));
        EXPECT_EQ(clipboard.text(), "Ab3$xY");
      }
      if (row.userCopies)
        clipboard.setText("the user's own");
    }
    EXPECT_EQ(clipboard.text(), row.after);
  }
}

TEST(ClipboardGuard, TheBoxsCopyKeysHandTheSecretToItsGuard) {
  QClipboard &clipboard = *QGuiApplication::clipboard();
  TKvClipboardGuard guard(clipboard, Delay);
  TKvSecretBox box;
  box.SetClipboardGuard(guard);
  box.setText("0123456789");
  box.show();
  box.setFocus();
  box.setSelection(0, 4);
  QTest::keySequence(&box, QKeySequence::Copy);
  EXPECT_EQ(clipboard.text(), "0123");
  EXPECT_TRUE(MarkedSecret(clipboard));
  EXPECT_TRUE(guard.Pending());
  EXPECT_TRUE(QTest::qWaitFor([&] { return clipboard.text().isEmpty(); }, 2000));
}

} // namespace
