// SPDX-License-Identifier: GPL-3.0-or-later
// The master password's fingerprint in the window: shown for a finished entry only, never while
// the user types, never a result of an earlier text.

#include "MainWindowFixture.h"
#include "crypto/Fingerprint.h"
#include "storage/MasterPassword.h"
#include "support/ReadOnlyFolder.h"
#include "ui/FingerprintView.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QToolTip>
#include <functional>
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
  static QToolButton *ButtonOf(const QAction &action) {
    for (QObject *object : action.associatedObjects())
      if (auto *button = qobject_cast<QToolButton *>(object))
        return button;
    return nullptr;
  }
  // Asks button for its tooltip as a pointer resting on it does; the size of the tooltip shown.
  static QSize ShownToolTipSize(QWidget &button) {
    const QPoint at(4, 4);
    QHelpEvent help(QEvent::ToolTip, at, button.mapToGlobal(at));
    QApplication::sendEvent(&button, &help);
    QSize size;
    for (QWidget *widget : QApplication::topLevelWidgets())
      if (widget->objectName() == "qtooltip_label" && widget->isVisible())
        size = widget->size();
    QToolTip::hideText();
    return size;
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

  QTest::keyClick(window->edMasterPass, Qt::Key_Tab); // the focus leaves the box
  ASSERT_TRUE(WaitShown(shown));
  EXPECT_EQ(ShownNames(), "brown key, black cross, white bolt");
  EXPECT_EQ(ShownNames(), NamesOf(u"correct horse battery staple"));
  EXPECT_EQ(window->edMasterPass->geometry(), geometry);

  // Tooltip and accessible description: the names as the command line prints them, then the
  // strength sentence; the symbols sit at the box's end.
  const QString sentence = QString::fromStdU16String(StrengthSentence(21));
  std::vector<QRect> buttons;
  for (int i = 1; i <= 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Action(i)->toolTip(),
              FingerprintToolTip("brown key, black cross, white bolt", sentence));
    EXPECT_FALSE(Action(i)->icon().isNull());
    QToolButton *button = ButtonOf(*Action(i));
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isVisible());
    EXPECT_EQ(button->accessibleDescription(), "brown key, black cross, white bolt. " + sentence);
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

  // The tooltip as it comes up under the pointer: wrapped to a width that reads at a glance.
  const QSize tip = ShownToolTipSize(*ButtonOf(*Action(1)));
  EXPECT_GE(tip.height(), 4 * QFontMetrics(QToolTip::font()).height()) << "wrapped";
  EXPECT_LE(tip.width(), 400);
  EXPECT_GE(tip.width(), 200);

  TypeInMaster("!");
  EXPECT_FALSE(AnySymbolShown()) << "the very keystroke hides them";
  QTest::keyClick(window->edMasterPass, Qt::Key_Backspace);
  QTest::qWait(300);
  EXPECT_FALSE(AnySymbolShown()) << "the same text again is still being typed";
  EXPECT_EQ(shown.size(), 1);
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(FingerprintWindowTest, OnlyAFocusMoveOfTheUserShowsTheSymbolsNotAWindowOrPopUpTakingIt) {
  OpenShown();
  QLineEdit *box = window->edMasterPass;
  QWidget other; // another program's window
  const struct {
    const char *how;
    std::function<void()> leave;
    bool shows;
  } rows[] = {
      {"Tab", [&] { QTest::keyClick(box, Qt::Key_Tab); }, true},
      {"Shift+Tab", [&] { QTest::keyClick(box, Qt::Key_Backtab, Qt::ShiftModifier); }, true},
      {"a click in the URL box", [&] { QTest::mouseClick(window->edURL, Qt::LeftButton); }, true},
      {"another window activated",
       [&] {
         other.show();
         other.activateWindow();
         ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
       },
       false},
      {"the box's context menu",
       [&] {
         // Through the window, as the display delivers it: that turns a right click into the
         // menu.
         QTest::mouseClick(window->windowHandle(), Qt::RightButton, {},
                           box->mapTo(window.get(), QPoint(10, 10)));
         ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget(); }));
       },
       false},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.how);
    TypeInMaster("x"); // a new text each time: what an earlier row computed is outdated
    QSignalSpy shown(View(), &TKvFingerprintView::Shown);
    row.leave();
    if (row.shows) {
      ASSERT_TRUE(WaitShown(shown));
      EXPECT_EQ(ShownNames(), NamesOf(box->text().toStdU16String()));
    } else {
      EXPECT_FALSE(shown.wait(500)) << "no computation was asked for";
      EXPECT_FALSE(AnySymbolShown());
    }
    if (QWidget *popup = QApplication::activePopupWidget())
      popup->close();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }
  EXPECT_TRUE(errors.isEmpty());
}

// Saving fails at every keystroke (a data folder that takes no writes). The program's own error box
// comes once, and it takes the focus from the master box: no prefix of the password ever shows
// its symbols. Once a save succeeds again, the next failure is told again.
TEST_F(FingerprintWindowTest, AFailingSaveWhileTypingIsReportedOnceAndItsBoxShowsNoSymbols) {
  window = std::make_unique<TfmMain>(*env, *protection, clipboardGuard, ProgramPath);
  window->show();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  window->cbSave->setChecked(true); // the empty box is saved
  QLineEdit *box = window->edMasterPass;
  QSignalSpy shown(View(), &TKvFingerprintView::Shown);
  QStringList reports;
  // Types key by key as a user does, reading and closing each box that opens.
  const auto type = [&](const QString &keys) {
    for (const QChar key : keys) {
      QTest::keyClick(box, key.toLatin1());
      EXPECT_FALSE(shown.wait(300)) << "symbols of " << box->text().toStdString();
      if (auto *errorBox = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
        EXPECT_TRUE(errorBox->isActiveWindow()) << "the box takes the focus";
        reports << errorBox->text();
        QTest::keyClick(errorBox, Qt::Key_Return);
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
      }
      ASSERT_EQ(QApplication::focusWidget(), box);
    }
  };
  const QString failure = "Cannot create file \"" +
                          QString::fromStdU16String((data / "master.key").u16string()) +
                          "\". Permission denied.";
  {
    const TReadOnlyFolder readOnly(data);
    type("hunter2");
    EXPECT_EQ(reports.join('\n').toStdString(), failure.toStdString());
  }
  EXPECT_FALSE(AnySymbolShown());

  QTest::keyClick(box, Qt::Key_Tab);
  ASSERT_TRUE(WaitShown(shown));
  EXPECT_EQ(ShownNames(), NamesOf(u"hunter2"));

  box->setFocus();
  type("!"); // stored
  std::u16string loaded;
  ASSERT_TRUE(LoadMasterPassword((data / "master.key").u16string(), loaded, *protection));
  EXPECT_EQ(loaded, u"hunter2!");
  {
    const TReadOnlyFolder readOnly(data);
    type("?");
  }
  EXPECT_EQ(reports.join('\n').toStdString(), (failure + '\n' + failure).toStdString());
  ASSERT_TRUE(LoadMasterPassword((data / "master.key").u16string(), loaded, *protection));
  EXPECT_EQ(loaded, u"hunter2!");
}

TEST_F(FingerprintWindowTest, AnOutdatedResultIsNeverShown) {
  OpenShown();
  QSignalSpy shown(View(), &TKvFingerprintView::Shown);
  // Leave the box and come back to type at once, again and again: each computation started is
  // outdated by the next keystroke, however late it ends.
  for (const char *piece : {"a", "b", "c", "d", "e", "f"}) {
    TypeInMaster(piece);
    QTest::keyClick(window->edMasterPass, Qt::Key_Tab);
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
    EXPECT_EQ(Action(1)->toolTip(),
              FingerprintToolTip(ShownNames(),
                                 QString::fromStdU16String(StrengthSentence(row.exponent))));
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
  QTest::keyClick(window->edMasterPass, Qt::Key_Tab);
  window->bbGenerate->click();
  QTest::qWait(300);
  EXPECT_FALSE(AnySymbolShown());
  EXPECT_TRUE(window->edMasterPass->actions().isEmpty());
}

} // namespace
