// SPDX-License-Identifier: GPL-3.0-or-later
// The master password's fingerprint in the window: shown for a finished entry only, never while
// the user types, never a result of an earlier text.

#include "MainWindowFixture.h"
#include "crypto/Fingerprint.h"
#include "ui/FingerprintView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <vector>

namespace {

class FingerprintWindowTest : public MainWindowTest {
protected:
  void OpenShown() {
    window = Open();
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }

  TKvFingerprintView *View() const { return window->findChild<TKvFingerprintView *>(); }
  QAction *Action(int i) const {
    return window->edMasterPass->findChild<QAction *>(QStringLiteral("acFingerprint%1").arg(i));
  }
  bool AnySymbolShown() const {
    for (int i = 1; i <= 3; ++i)
      if (Action(i) && Action(i)->isVisible())
        return true;
    return false;
  }
  // The names the actions show, "brown key, black cross, white bolt", or "" while hidden.
  QString ShownNames() const {
    if (!AnySymbolShown())
      return {};
    return Action(1)->text() + ", " + Action(2)->text() + ", " + Action(3)->text();
  }
  static QString NamesOf(const std::u16string &password) {
    const std::u16string line = FingerprintLine(FingerprintSymbols(FingerprintHash(password)));
    return QString::fromStdU16String(line.substr(line.find(u"  ") + 2));
  }
  // Waits for the worker's result to be shown.
  static bool WaitShown(QSignalSpy &shown) { return !shown.isEmpty() || shown.wait(10000); }

  void TypeInMaster(const QString &text) {
    window->edMasterPass->setFocus();
    QTest::keyClicks(window->edMasterPass, text);
  }

  std::unique_ptr<TfmMain> window;
};

TEST_F(FingerprintWindowTest, TypingShowsNothingLeavingTheBoxShowsTheSymbolsAKeystrokeHidesThem) {
  OpenShown();
  ASSERT_NE(View(), nullptr);
  QSignalSpy shown(View(), &TKvFingerprintView::Shown);
  const QRect geometry = window->edMasterPass->geometry();

  TypeInMaster("correct horse battery staple");
  QTest::qWait(300); // longer than a computation takes: none was asked for
  EXPECT_FALSE(AnySymbolShown());
  EXPECT_TRUE(shown.isEmpty());

  window->edURL->setFocus(); // the focus leaves the box
  ASSERT_TRUE(WaitShown(shown));
  EXPECT_EQ(ShownNames(), "brown key, black cross, white bolt");
  EXPECT_EQ(ShownNames(), NamesOf(u"correct horse battery staple"));
  EXPECT_EQ(window->edMasterPass->geometry(), geometry);

  // Tooltip and accessible description: the strength sentence; the symbols sit at the box's end.
  const QString sentence = QString::fromStdU16String(StrengthSentence(21));
  std::vector<QRect> buttons;
  for (int i = 1; i <= 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Action(i)->toolTip(), sentence);
    EXPECT_FALSE(Action(i)->icon().isNull());
    QToolButton *button = nullptr;
    for (QObject *object : Action(i)->associatedObjects())
      if (auto *candidate = qobject_cast<QToolButton *>(object))
        button = candidate;
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(button->accessibleDescription(), sentence);
    EXPECT_EQ(button->accessibleName(), Action(i)->text());
    buttons.push_back(button->geometry());
  }
  // Left to right in their order, 16-pixel icons in about 66 pixels at the box's right end.
  ASSERT_EQ(buttons.size(), 3u);
  EXPECT_LT(buttons[0].right(), buttons[1].left());
  EXPECT_LT(buttons[1].right(), buttons[2].left());
  EXPECT_LE(buttons[2].right(), geometry.width());
  EXPECT_GE(buttons[0].left(), geometry.width() - 80);
  for (const QRect &button : buttons)
    EXPECT_GE(button.width(), 16);

  TypeInMaster("!");
  EXPECT_FALSE(AnySymbolShown()) << "the very keystroke hides them";
  QTest::keyClick(window->edMasterPass, Qt::Key_Backspace);
  QTest::qWait(300);
  EXPECT_FALSE(AnySymbolShown()) << "the same text again is still being typed";
  EXPECT_EQ(shown.size(), 1);
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(FingerprintWindowTest, AnOutdatedResultIsNeverShown) {
  OpenShown();
  QSignalSpy shown(View(), &TKvFingerprintView::Shown);
  // Leave the box and come back to type at once, again and again: each computation started is
  // outdated by the next keystroke, however late it ends.
  for (const char *piece : {"a", "b", "c", "d", "e", "f"}) {
    TypeInMaster(piece);
    window->edURL->setFocus();
    window->edMasterPass->setFocus();
  }
  TypeInMaster("g");
  QTest::qWait(500);
  EXPECT_TRUE(shown.isEmpty());
  EXPECT_FALSE(AnySymbolShown());

  // Two finished entries in a row: only the later one's symbols ever appear.
  window->edMasterPass->setText("first");
  window->bbGenerate->click();
  window->edMasterPass->setText("second password");
  window->bbGenerate->click();
  ASSERT_TRUE(WaitShown(shown));
  QTest::qWait(300);
  EXPECT_EQ(shown.size(), 1);
  EXPECT_EQ(ShownNames(), NamesOf(u"second password"));
}

TEST_F(FingerprintWindowTest, GenerateShowsThemOnAFrameThatSaysHowWeakTheMasterPasswordIs) {
  OpenShown();
  const struct {
    const char *password;
    int exponent;
    QColor frame; // the picture's corner; transparent for a strong one
  } rows[] = {
      {"password", 0, QColor(0xD0, 0x10, 0x10)},
      {"Tr0ub4dor&3", 14, QColor(0xE8, 0x9A, 0x00)},
      {"correct horse battery staple", 21, QColor(0, 0, 0, 0)},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.password);
    QSignalSpy shown(View(), &TKvFingerprintView::Shown);
    window->edMasterPass->setText(row.password);
    EXPECT_FALSE(AnySymbolShown());
    window->bbGenerate->click();
    ASSERT_TRUE(WaitShown(shown));
    EXPECT_EQ(ShownNames(), NamesOf(QString(row.password).toStdU16String()));
    EXPECT_EQ(Action(1)->toolTip(), QString::fromStdU16String(StrengthSentence(row.exponent)));
    for (int i = 1; i <= 3; ++i) {
      const QImage icon = Action(i)->icon().pixmap(16, 16).toImage();
      EXPECT_EQ(icon.pixelColor(0, 0), row.frame) << i;
      EXPECT_EQ(icon.pixelColor(15, 8), row.frame) << i;
    }
  }
}

TEST_F(FingerprintWindowTest, ASavedPasswordShowsItsSymbolsAsSoonAsItIsLoaded) {
  {
    OpenShown();
    window->cbSave->setChecked(true);
    window->edMasterPass->setText(QString::fromStdU16String(u"Пароль для проверки"));
    window.reset();
  }
  window = Open(); // not even shown yet
  ASSERT_NE(View(), nullptr);
  QSignalSpy shown(View(), &TKvFingerprintView::Shown);
  ASSERT_TRUE(WaitShown(shown));
  EXPECT_EQ(ShownNames(), "orange triangle, red circle, green square");
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(FingerprintWindowTest, ShowZeroInConfigIniHidesThem) {
  Put("config.ini", "[Fingerprint]\r\nShow=0\r\n");
  OpenShown();
  EXPECT_EQ(View(), nullptr);
  EXPECT_EQ(Action(1), nullptr);
  TypeInMaster("correct horse battery staple");
  window->edURL->setFocus();
  window->bbGenerate->click();
  QTest::qWait(300);
  EXPECT_FALSE(AnySymbolShown());
  EXPECT_TRUE(window->edMasterPass->actions().isEmpty());
}

} // namespace
