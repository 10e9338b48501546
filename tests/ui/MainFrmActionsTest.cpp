// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindowFixture.h"
#include "crypto/SitePassword.h"
#include "storage/Settings.h"
#include "support/ReadOnlyFolder.h"
#include "ui/ThumbButtonGroup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <filesystem>
#include <functional>

namespace {

// A window opened on three stored sites with logins for the first two.
class MainWindowActionsTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    Reopen();
  }

  // Closes the window when one is open (which writes its lists), puts the given list files in
  // place, without records of the sites, and opens the window again.
  void Reopen(const std::string &urls = StoredSiteFile,
              const std::string &logins = "1:alice\r\n1:bob\r\n2:carol\r\n") {
    window.reset();
    Put("urls.db", urls);
    Put("logins.db", logins);
    std::filesystem::remove(data / "records.db");
    window = Open();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }

  void Press(const char *name) { Control<QAbstractButton>(*window, name)->click(); }

  void Mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    TKvThumbButtonGroup *group = window->bgThumbs;
    QMouseEvent event(type, QPointF(at), QPointF(group->mapToGlobal(at)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(group, &event);
  }
  void ClickSite(int position) {
    const QPoint at = window->bgThumbs->ButtonRect(position).center();
    Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
  }
  // Drags the button at from so that it ends at to.
  void DragSite(int from, int to) {
    const QRect target = window->bgThumbs->ButtonRect(to);
    const QPoint quarter(target.width() / 4, 0);
    const QPoint drop = to > from ? target.center() + quarter : target.center() - quarter;
    const QPoint start = window->bgThumbs->ButtonRect(from).center();
    Mouse(QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    Mouse(QEvent::MouseMove, start + QPoint(0, TKvThumbButtonGroup::DragThreshold), Qt::NoButton,
          Qt::LeftButton);
    Mouse(QEvent::MouseMove, drop, Qt::NoButton, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, drop, Qt::LeftButton, Qt::NoButton);
  }

  void Type(const QString &master, const QString &url, const QString &login) {
    window->edMasterPass->setText(master);
    window->edURL->setText(url);
    window->edLogin->setEditText(login);
  }

  static QStringList Lines(const TKvStringList &list) {
    QStringList lines;
    for (int32_t i = 0; i < list.Count(); ++i)
      lines << QString::fromStdU16String(list.Get(i));
    return lines;
  }
  QStringList Entries() const {
    QStringList entries;
    for (int i = 0; i < window->edLogin->count(); ++i)
      entries << window->edLogin->itemText(i);
    return entries;
  }
  QString ButtonURL(int position) const {
    return QString::fromStdU16String(window->Site(position).URL);
  }
  static QString Derived(const QString &master, const QString &url, const QString &login) {
    return QString::fromStdU16String(
        DeriveSitePassword(master.toStdU16String(), url.toStdU16String(), login.toStdU16String()));
  }

  static constexpr char StoredSiteFile[] =
      "1:https://one.example\r\n2:https://two.example\r\n3:http://three.example\r\n";
  const QStringList StoredSites = {"1:https://one.example", "2:https://two.example",
                                   "3:http://three.example"};
  const QStringList StoredLogins = {"1:alice", "1:bob", "2:carol"};
  std::unique_ptr<TfmMain> window;
};

TEST_F(MainWindowActionsTest, GenerateChecksMasterPasswordThenURLThenSeparatorAndChangesNothing) {
  struct Row {
    QString master, url, warning;
  };
  const Row rows[] = {
      {"", "", "Error: Please enter a master password!"},
      {"", "https://new.example", "Error: Please enter a master password!"},
      {"pw", "", "Error: Please enter an URL!"},
      {"pw", "new.example", "Error: Please enter a valid URL!"},
      {"pw", "https:/new.example", "Error: Please enter a valid URL!"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.master.toStdString() + " | " + row.url.toStdString());
    warnings.clear();
    Type(row.master, row.url, "dave");
    Press("bbGenerate");
    EXPECT_EQ(warnings, QStringList{row.warning});
    EXPECT_TRUE(window->edPassword->text().isEmpty());
    EXPECT_EQ(window->edLogin->count(), 0);
    EXPECT_EQ(window->bgThumbs->Count(), 3);
    EXPECT_EQ(Lines(window->URLs()), StoredSites);
    EXPECT_EQ(Lines(window->Logins()), StoredLogins);
  }
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MainWindowActionsTest, GenerateForANewSiteListsAndKeepsTheURLAsTyped) {
  struct Row {
    QString url, login;
    QString siteLine, caption;
    QStringList newLogins;
  };
  const Row rows[] = {
      {"https://New.example:8080/path?q#f",
       "dave",
       "4:https://New.example:8080/path?q#f",
       "   New.example",
       {"4:dave"}},
      {"https://[::1]:8080/admin", "dave", "4:https://[::1]:8080/admin", "   ::1", {"4:dave"}},
      {"a://", "dave", "4:a://", "   ", {"4:dave"}},
      {"ftp://files.example", "", "4:ftp://files.example", "   files.example", {}},
      // A path on a host that already has a button makes a second site with the same caption.
      {"https://one.example/login",
       "dave",
       "4:https://one.example/login",
       "   one.example",
       {"4:dave"}},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.url.toStdString());
    Reopen();
    Type("pw", row.url, row.login);
    Press("bbGenerate");
    EXPECT_EQ(window->edPassword->text(), Derived("pw", row.url, row.login));
    EXPECT_EQ(Lines(window->URLs()), StoredSites + QStringList{row.siteLine});
    EXPECT_EQ(Lines(window->Logins()), StoredLogins + row.newLogins);
    ASSERT_EQ(window->bgThumbs->Count(), 4);
    EXPECT_EQ(window->bgThumbs->Caption(3), row.caption);
    EXPECT_EQ(window->Site(3).Index, 4);
    EXPECT_EQ(ButtonURL(3), row.url);
    // The boxes keep what was typed and the new button is not the remembered one.
    EXPECT_EQ(window->edURL->text(), row.url);
    EXPECT_EQ(window->edLogin->currentText(), row.login);
    EXPECT_EQ(window->LastClickedButton(), -1);
    // Its button gives back the full URL, and so the same password.
    ClickSite(3);
    window->edLogin->setEditText(row.login);
    Press("bbGenerate");
    EXPECT_EQ(window->edPassword->text(), Derived("pw", row.url, row.login));
    EXPECT_EQ(window->bgThumbs->Count(), 4);
  }
  EXPECT_TRUE(warnings.isEmpty());
  EXPECT_TRUE(errors.isEmpty());
}

// What Generate gives for a URL, the button it leaves gives later: any other spelling, letter case
// included, is another site with a button of its own.
TEST_F(MainWindowActionsTest, KnownURLIsMatchedExactlyAndItsButtonGivesWhatGenerateGave) {
  struct Row {
    QString url;
    bool newSite;
  };
  const Row rows[] = {
      {"https://one.example", false},         {"HTTPS://ONE.Example", true},
      {"https://One.example", true},          {"https://one.example/", true},
      {"https://b\u00fccher.example", false}, {"https://B\u00dcCHER.example", true},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.url.toStdString());
    Reopen("1:https://one.example\r\n2:https://b\u00fccher.example\r\n", "");
    Type("pw", row.url, "bob");
    Press("bbGenerate");
    const QString shown = window->edPassword->text();
    EXPECT_EQ(shown, Derived("pw", row.url, "bob"));
    ASSERT_EQ(window->bgThumbs->Count(), row.newSite ? 3 : 2);
    EXPECT_EQ(window->URLs().Count(), row.newSite ? 3 : 2);
    if (!row.newSite)
      continue;
    EXPECT_EQ(Lines(window->Logins()), QStringList{"3:bob"});
    ClickSite(2);
    window->edLogin->setEditText("bob");
    Press("bbGenerate");
    EXPECT_EQ(window->edPassword->text(), shown);
  }
  EXPECT_TRUE(errors.isEmpty());
}

// Logins, too, give another password in another case: each spelling is an entry of its own.
TEST_F(MainWindowActionsTest, GenerateAddsEachLoginSpellingOnceAndRecordsItForTheClickedSite) {
  ClickSite(1); // two.example, login carol
  window->edMasterPass->setText("pw");
  window->edLogin->setEditText("bob");
  Press("bbGenerate");
  EXPECT_EQ(window->edPassword->text(), Derived("pw", "https://two.example", "bob"));
  window->edLogin->setEditText("Bob");
  Press("bbGenerate");
  EXPECT_EQ(window->edPassword->text(), Derived("pw", "https://two.example", "Bob"));
  window->edLogin->setEditText("bob");
  Press("bbGenerate");
  EXPECT_EQ(Entries(), QStringList({"carol", "bob", "Bob"}));
  EXPECT_EQ(window->edLogin->currentText(), "bob");
  EXPECT_EQ(Lines(window->Logins()), StoredLogins + QStringList({"2:bob", "2:Bob"}));
  EXPECT_EQ(window->LastClickedButton(), 1);
  EXPECT_EQ(window->bgThumbs->Count(), 3);
}

TEST_F(MainWindowActionsTest, GenerateWithAnEmptyLoginAddsOneEmptyEntryAndRecordsNothing) {
  ClickSite(0);
  window->edMasterPass->setText("pw");
  Press("bbGenerate");
  Press("bbGenerate");
  EXPECT_EQ(Entries(), QStringList({"alice", "bob", ""}));
  EXPECT_EQ(window->edLogin->currentText(), "");
  EXPECT_EQ(Lines(window->Logins()), StoredLogins);
}

TEST_F(MainWindowActionsTest, GenerateRecordsNoLoginUnlessTheURLBoxHoldsTheRememberedButtonsURL) {
  struct Row {
    const char *what;
    int click; // -1: none
    QString url;
    QStringList logins;
    int buttons;
  };
  const Row rows[] = {
      {"known URL typed before any click", -1, "https://two.example", StoredLogins, 3},
      {"another site's URL typed after a click", 0, "https://two.example", StoredLogins, 3},
      {"the clicked URL in other case: a new site", 0, "HTTPS://one.EXAMPLE",
       StoredLogins + QStringList{"4:dave"}, 4},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    Reopen();
    if (row.click >= 0)
      ClickSite(row.click);
    Type("pw", row.url, "dave");
    Press("bbGenerate");
    EXPECT_EQ(window->edPassword->text(), Derived("pw", row.url, "dave"));
    EXPECT_EQ(Lines(window->Logins()), row.logins);
    EXPECT_EQ(window->bgThumbs->Count(), row.buttons);
  }
}

TEST_F(MainWindowActionsTest, PortThatIsNoNumberIsReportedAfterThePasswordIsShownAndAddsNoSite) {
  Type("pw", "https://new.example:http/", "dave");
  Press("bbGenerate");
  EXPECT_EQ(errors, QStringList{"''http'' is not a valid integer value"});
  EXPECT_EQ(window->edPassword->text(), Derived("pw", "https://new.example:http/", "dave"));
  EXPECT_EQ(Entries(), QStringList{"dave"});
  EXPECT_EQ(window->bgThumbs->Count(), 3);
  EXPECT_EQ(Lines(window->URLs()), StoredSites);
  EXPECT_EQ(Lines(window->Logins()), StoredLogins);
}

TEST_F(MainWindowActionsTest, SiteThatGetsNoIndexLeavesNoButton) {
  Reopen("2147483647:https://last.example\r\n");
  Type("pw", "https://new.example", "dave");
  Press("bbGenerate");
  EXPECT_EQ(errors, QStringList{"No free site index"});
  EXPECT_EQ(window->bgThumbs->Count(), 1);
  EXPECT_EQ(window->URLs().Count(), 1);
  EXPECT_EQ(Lines(window->Logins()), StoredLogins);
}

TEST_F(MainWindowActionsTest, CopyPutsThePasswordOnTheClipboardMarkedSecretAndKeepsItSelected) {
  Type("pw", "https://one.example", "");
  Press("bbGenerate");
  const QString password = window->edPassword->text();
  ASSERT_FALSE(password.isEmpty());
  Press("sbCopy");
  const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(mime, nullptr);
  EXPECT_EQ(mime->text(), password);
  EXPECT_EQ(mime->data("x-kde-passwordManagerHint"), "secret");
  EXPECT_EQ(window->edPassword->selectedText(), password);
  // The program's guard took it over: it leaves the clipboard later.
  EXPECT_TRUE(clipboardGuard.HoldsOurs());
  EXPECT_TRUE(clipboardGuard.Pending());
  EXPECT_TRUE(errors.isEmpty());
}

// "Copy" must never hand over a password of other inputs than the ones the window shows.
TEST_F(MainWindowActionsTest, AnyChangeOfTheInputsTakesThePasswordAwayBeforeCopyCanReachIt) {
  const struct {
    const char *what;
    std::function<void(TfmMain &)> change;
  } rows[] = {
      {"a key in the master password", [](TfmMain &w) { w.edMasterPass->setText("pw2"); }},
      {"another URL", [](TfmMain &w) { w.edURL->setText("https://two.example"); }},
      {"a URL that Generate refuses",
       [](TfmMain &w) {
         w.edURL->setText("two.example");
         w.bbGenerate->click();
       }},
      {"another login", [](TfmMain &w) { w.edLogin->setEditText("bobby"); }},
      {"another login picked", [](TfmMain &w) { w.edLogin->setCurrentIndex(0); }},
  };
  QClipboard &clipboard = *QGuiApplication::clipboard();
  for (const auto &row : rows) {
    SCOPED_TRACE(row.what);
    Reopen();
    ClickSite(0);
    Type("pw", "https://one.example", "bob");
    Press("bbGenerate");
    ASSERT_FALSE(window->edPassword->text().isEmpty());
    row.change(*window);
    EXPECT_TRUE(window->edPassword->text().isEmpty());
    clipboard.setText("the user's own text");
    Press("sbCopy");
    EXPECT_EQ(clipboard.text(), "the user's own text");
  }
}

TEST_F(MainWindowActionsTest, CopyKeysMarkThePasswordSecretAndAnEmptyBoxLeavesTheClipboardAlone) {
  QClipboard &clipboard = *QGuiApplication::clipboard();
  QLineEdit *box = window->edPassword;
  box->setFocus();
  const QList<QKeySequence> copyKeys = QKeySequence::keyBindings(QKeySequence::Copy);
  ASSERT_FALSE(copyKeys.isEmpty());

  // Nothing to copy: what the user had on the clipboard stays.
  clipboard.setText("the user's own text");
  Press("sbCopy");
  EXPECT_EQ(clipboard.text(), "the user's own text");
  QTest::keySequence(box, copyKeys.first());
  EXPECT_EQ(clipboard.text(), "the user's own text");
  EXPECT_FALSE(clipboardGuard.Pending());

  Type("pw", "https://one.example", "");
  Press("bbGenerate");
  const QString password = box->text();
  ASSERT_FALSE(password.isEmpty());
  for (const QKeySequence &keys : copyKeys) {
    SCOPED_TRACE(keys.toString().toStdString());
    clipboard.setText("before");
    box->setSelection(2, 5);
    QTest::keySequence(box, keys);
    const QMimeData *mime = clipboard.mimeData();
    ASSERT_NE(mime, nullptr);
    EXPECT_EQ(mime->text(), password.mid(2, 5));
    EXPECT_EQ(mime->data("x-kde-passwordManagerHint"), "secret");
    EXPECT_TRUE(clipboardGuard.HoldsOurs()); // the key's copy went through the program's guard
    clipboardGuard.ClearIfOurs();
    EXPECT_TRUE(clipboard.text().isEmpty());
  }
  // No context menu, whose "Copy" would put the password out unmarked, and no dragging it out.
  EXPECT_EQ(box->contextMenuPolicy(), Qt::NoContextMenu);
  EXPECT_FALSE(box->dragEnabled());
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MainWindowActionsTest, ACopyOutlivesTheWindowAndTheClipboardSectionSurvivesItsClosing) {
  window.reset();
  const std::string section = "[Clipboard]\r\n; the user's note\r\nClearAfter = 2 \r\n\r\n";
  Put("config.ini", section);
  Reopen();
  Type("pw", "https://one.example", "");
  Press("bbGenerate");
  Press("sbCopy");
  const QString password = window->edPassword->text();
  window.reset(); // writes the position into config.ini
  // The guard is the program's: the window's end neither clears nor cancels.
  EXPECT_EQ(QGuiApplication::clipboard()->text(), password);
  EXPECT_TRUE(clipboardGuard.Pending());
  EXPECT_EQ(Get("config.ini").substr(0, section.size()), section);
  EXPECT_NE(Get("config.ini").find("Top="), std::string::npos);
  EXPECT_EQ(LoadClipboardClearAfter((data / "config.ini").u16string()), 2);
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MainWindowActionsTest, ChoosingASiteShowsItsURLAndOffersItsLoginsWithNoneSelected) {
  Type("pw", "https://one.example", "zed");
  Press("bbGenerate"); // entry "zed" and a password
  ASSERT_FALSE(window->edPassword->text().isEmpty());
  // The box already holds this URL, so no change empties the drop-down: the click refills it.
  ClickSite(0);
  EXPECT_EQ(window->LastClickedButton(), 0);
  EXPECT_TRUE(window->edPassword->text().isEmpty());
  EXPECT_EQ(window->edURL->text(), "https://one.example");
  EXPECT_EQ(Entries(), QStringList({"alice", "bob"}));
  EXPECT_EQ(window->edLogin->currentText(), "");
  EXPECT_EQ(window->edLogin->currentIndex(), -1);

  ClickSite(2);
  EXPECT_EQ(window->LastClickedButton(), 2);
  EXPECT_EQ(window->edURL->text(), "http://three.example");
  EXPECT_TRUE(Entries().isEmpty());
}

TEST_F(MainWindowActionsTest, ChangingTheURLEmptiesTheLoginDropDownAndThePassword) {
  ClickSite(0);
  window->edMasterPass->setText("pw");
  window->edLogin->setEditText("alice");
  Press("bbGenerate");
  const QString password = window->edPassword->text();
  window->edURL->setText("https://one.example"); // the same text: no change
  EXPECT_EQ(Entries(), QStringList({"alice", "bob"}));
  EXPECT_EQ(window->edLogin->currentText(), "alice");
  EXPECT_EQ(window->edPassword->text(), password);
  window->edURL->setText("https://one.exampl");
  EXPECT_TRUE(Entries().isEmpty());
  EXPECT_EQ(window->edLogin->currentText(), "");
  EXPECT_TRUE(window->edPassword->text().isEmpty());
  EXPECT_EQ(window->LastClickedButton(), 0);
  EXPECT_EQ(Lines(window->Logins()), StoredLogins);
}

TEST_F(MainWindowActionsTest, ReorderListsTheSitesInButtonOrderAndFollowsTheRememberedButton) {
  struct Row {
    int remembered, from, to, rememberedAfter;
    QStringList sites;
  };
  const QStringList from0to2 = {"2:https://two.example", "3:http://three.example",
                                "1:https://one.example"};
  const QStringList from2to0 = {"3:http://three.example", "1:https://one.example",
                                "2:https://two.example"};
  const QStringList from0to1 = {"2:https://two.example", "1:https://one.example",
                                "3:http://three.example"};
  const Row rows[] = {
      {-1, 0, 2, -1, from0to2}, {0, 0, 2, 2, from0to2}, {1, 0, 2, 0, from0to2},
      {2, 0, 2, 1, from0to2},   {2, 2, 0, 0, from2to0}, {0, 2, 0, 1, from2to0},
      {1, 2, 0, 2, from2to0},   {2, 0, 1, 2, from0to1},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(testing::Message()
                 << "remembered " << row.remembered << ", " << row.from << " to " << row.to);
    Reopen();
    if (row.remembered >= 0)
      ClickSite(row.remembered);
    DragSite(row.from, row.to);
    EXPECT_EQ(window->Site(row.to).Index, row.from + 1);
    EXPECT_EQ(window->LastClickedButton(), row.rememberedAfter);
    EXPECT_EQ(Lines(window->URLs()), row.sites);
    EXPECT_EQ(Lines(window->Logins()), StoredLogins);
  }
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MainWindowActionsTest, LinesWithoutASiteKeepTheirPlaceThroughReorderAndDelete) {
  Reopen("1:https://one.example\r\nnot a site\r\n2:https://two.example\r\n"
         "4:http://four.example:80a/\r\n3:http://three.example\r\n");
  ASSERT_EQ(window->bgThumbs->Count(), 3);
  DragSite(0, 2);
  EXPECT_EQ(Lines(window->URLs()),
            QStringList({"2:https://two.example", "not a site", "3:http://three.example",
                         "4:http://four.example:80a/", "1:https://one.example"}));
  ClickSite(1);
  Press("sbDeleteURL");
  EXPECT_EQ(Lines(window->URLs()),
            QStringList({"2:https://two.example", "not a site", "4:http://four.example:80a/",
                         "1:https://one.example"}));
  EXPECT_EQ(Captions(*window), QStringList({"   two.example", "   one.example"}));
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(MainWindowActionsTest, RestingOnASiteButtonShowsItsWholeURL) {
  Type("pw", "https://a-rather-long-host-name.example/sign-in?next=%2F", "");
  Press("bbGenerate");
  for (int position : {0, 3}) {
    SCOPED_TRACE(position);
    const QPoint at = window->bgThumbs->ButtonRect(position).center();
    QHelpEvent help(QEvent::ToolTip, at, window->bgThumbs->mapToGlobal(at));
    QApplication::sendEvent(window->bgThumbs, &help);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), ButtonURL(position));
    QToolTip::hideText();
  }
}

TEST_F(MainWindowActionsTest, DeleteURLRemovesTheRememberedSiteWithItsLoginsAndForgetsIt) {
  ClickSite(0);
  Type("pw", "https://one.example", "alice");
  Press("bbGenerate");
  Press("sbDeleteURL");
  EXPECT_EQ(Captions(*window), QStringList({"   two.example", "   three.example"}));
  EXPECT_EQ(Lines(window->URLs()), StoredSites.mid(1));
  EXPECT_EQ(Lines(window->Logins()), QStringList{"2:carol"});
  EXPECT_EQ(window->LastClickedButton(), -1);
  EXPECT_EQ(window->edURL->text(), "");
  EXPECT_EQ(window->edLogin->currentText(), "");
  EXPECT_TRUE(Entries().isEmpty());
  EXPECT_TRUE(window->edPassword->text().isEmpty());

  // Nothing is remembered any more: a second press deletes nothing.
  window->edURL->setText("https://two.example");
  Press("sbDeleteURL");
  EXPECT_EQ(window->bgThumbs->Count(), 2);
  EXPECT_EQ(Lines(window->URLs()), StoredSites.mid(1));
  EXPECT_EQ(Lines(window->Logins()), QStringList{"2:carol"});
  EXPECT_EQ(window->edURL->text(), "https://two.example");
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MainWindowActionsTest, DeleteURLAfterDraggingTheRememberedButtonDeletesThatSameSite) {
  ClickSite(0);
  DragSite(0, 2);
  ASSERT_EQ(window->LastClickedButton(), 2);
  Press("sbDeleteURL");
  EXPECT_EQ(Captions(*window), QStringList({"   two.example", "   three.example"}));
  EXPECT_EQ(Lines(window->URLs()),
            QStringList({"2:https://two.example", "3:http://three.example"}));
  EXPECT_EQ(Lines(window->Logins()), QStringList{"2:carol"});
}

TEST_F(MainWindowActionsTest, DeleteLoginRemovesTheEntryItsTextMatchesExactly) {
  ClickSite(0);
  window->edLogin->setEditText("BOB"); // another login
  Press("sbDeleteLogin");
  EXPECT_EQ(Lines(window->Logins()), StoredLogins);
  window->edLogin->setEditText("bob");
  Press("sbDeleteLogin");
  EXPECT_EQ(Lines(window->Logins()), QStringList({"1:alice", "2:carol"}));
  EXPECT_EQ(Entries(), QStringList{"alice"});
  EXPECT_EQ(window->edLogin->currentText(), "");
  EXPECT_EQ(window->LastClickedButton(), 0);
  EXPECT_EQ(window->edURL->text(), "https://one.example");
}

TEST_F(MainWindowActionsTest, DeleteActionsChangeNothingWithoutTheRememberedSiteInView) {
  struct Row {
    const char *what;
    int click; // -1: none
    QString url, login;
    const char *button;
  };
  const Row rows[] = {
      {"no site clicked", -1, "https://one.example", "alice", "sbDeleteURL"},
      {"no site clicked", -1, "https://one.example", "alice", "sbDeleteLogin"},
      {"another site's URL typed", 0, "https://two.example", "carol", "sbDeleteURL"},
      {"another site's URL typed", 0, "https://two.example", "carol", "sbDeleteLogin"},
      {"a new URL typed", 0, "https://new.example", "alice", "sbDeleteURL"},
      {"the URL box emptied", 0, "", "alice", "sbDeleteURL"},
      {"the clicked URL, a login recorded for another site", 0, "https://one.example", "carol",
       "sbDeleteLogin"},
      {"the clicked URL, a login typed that is no entry", 0, "https://one.example", "ali",
       "sbDeleteLogin"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(std::string(row.what) + ", " + row.button);
    Reopen();
    if (row.click >= 0)
      ClickSite(row.click);
    window->edURL->setText(row.url);
    // Every login is offered, so that only the site decides whether one is deleted.
    window->edLogin->clear();
    window->edLogin->addItems({"alice", "bob", "carol"});
    window->edLogin->setEditText(row.login);
    Press(row.button);
    EXPECT_EQ(window->bgThumbs->Count(), 3);
    EXPECT_EQ(Lines(window->URLs()), StoredSites);
    EXPECT_EQ(Lines(window->Logins()), StoredLogins);
    EXPECT_EQ(window->edURL->text(), row.url);
    EXPECT_EQ(window->edLogin->currentText(), row.login);
  }
}

TEST_F(MainWindowActionsTest, ClosingKeepsNewSitesAndDropsDeletedOnesAndTheirLogins) {
  Type("pw", "https://new.example/path", "dave");
  Press("bbGenerate");
  ClickSite(0);
  Press("sbDeleteURL");
  window.reset();
  EXPECT_EQ(Get("urls.db"), std::string(Mark) +
                                "2:https://two.example\r\n3:http://three.example\r\n"
                                "4:https://new.example/path\r\n");
  EXPECT_EQ(Get("logins.db"), std::string(Mark) + "2:carol\r\n4:dave\r\n");
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(MainWindowActionsTest, SiteButtonGivesTheSamePasswordAfterTheWindowIsOpenedAgain) {
  for (const QString url : {"https://www.example.org/login", "https://[::1]:8080/admin"}) {
    SCOPED_TRACE(url.toStdString());
    Type("pw", url, "dave");
    Press("bbGenerate");
    const QString signedUpWith = window->edPassword->text();
    ASSERT_EQ(signedUpWith, Derived("pw", url, "dave"));
    const int position = window->bgThumbs->Count() - 1;

    window.reset(); // closing writes the lists
    window = Open();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    ASSERT_EQ(window->bgThumbs->Count(), position + 1);
    ClickSite(position);
    EXPECT_EQ(window->edURL->text(), url);
    Type("pw", window->edURL->text(), "dave");
    Press("bbGenerate");
    EXPECT_EQ(window->edPassword->text(), signedUpWith);
  }
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(MainWindowActionsTest, CloseEndsTheWindowWithCancel) {
  QSignalSpy finished(window.get(), &QDialog::finished);
  Press("bbClose");
  ASSERT_EQ(finished.count(), 1);
  EXPECT_EQ(finished.at(0).at(0).toInt(), QDialog::Rejected);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowActionsTest, LinkIsUnderlinedUnderThePointerAndOpensTheHomePageOnClick) {
  QLabel *link = Control<QLabel>(*window, "lbSite");
  const QFont before = link->font();
  const QPoint at = link->rect().center();
  QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(link->mapToGlobal(at)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(link, &move);
  EXPECT_TRUE(link->font().underline());
  EXPECT_EQ(link->font().pixelSize(), before.pixelSize());
  EXPECT_EQ(link->font().families(), before.families());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(link, &leave);
  EXPECT_FALSE(link->font().underline());
  EXPECT_TRUE(opened.isEmpty());
  QTest::mouseClick(link, Qt::LeftButton, Qt::NoModifier, at);
  EXPECT_EQ(opened, QStringList{HomePageAddress()});
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MainWindowActionsTest, URLAndLoginBoxesCutPastedTextAtTheFirstLineBreakOrNul) {
  struct Row {
    QString before;
    int cursor;
    QString pasted, after;
  };
  const Row rows[] = {
      {"", 0, "https://a.example\r\nhttps://b.example", "https://a.example"},
      {"https://.example", 8, QString("a\nb"), "https://a.example"},
      {"ab", 1, QString("x") + QChar(u'\0') + "y", "axb"},
      {"ab", 2, "\rx", "ab"},
  };
  for (QLineEdit *box : {window->edURL, window->edLogin->lineEdit()}) {
    for (const Row &row : rows) {
      SCOPED_TRACE(box->objectName().toStdString() + " | " + row.pasted.toStdString());
      box->setText(row.before);
      box->setCursorPosition(row.cursor);
      QGuiApplication::clipboard()->setText(row.pasted);
      box->paste();
      EXPECT_EQ(box->text(), row.after);
    }
    box->setText("typed\nby program");
    EXPECT_EQ(box->text(), "typed");
  }
}

TEST_F(MainWindowActionsTest, UntickingSavePasswordLeavesNoMasterKeyWhileTyping) {
  window->cbSave->setChecked(true);
  window->edMasterPass->setText("pw");
  ASSERT_TRUE(Has("master.key"));
  window->cbSave->setChecked(false);
  EXPECT_FALSE(Has("master.key"));
  QTest::keyClicks(window->edMasterPass, "more");
  EXPECT_FALSE(Has("master.key"));
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MainWindowActionsTest, UntickingSavePasswordInAReadOnlyDataFolderIsReportedAndKeepsTheTick) {
  window->cbSave->setChecked(true);
  window->edMasterPass->setText("pw");
  const std::string sealed = Get("master.key");
  {
    const TReadOnlyFolder readOnly(data);
    window->cbSave->click();
  }
  // One report: putting the tick back saved nothing (that would have failed here too).
  EXPECT_EQ(errors, QStringList{"Cannot delete file \"" +
                                QString::fromStdU16String((data / "master.key").u16string()) +
                                "\". Permission denied"});
  EXPECT_TRUE(window->cbSave->isChecked());
  EXPECT_EQ(Get("master.key"), sealed);

  window.reset();
  window = Open();
  EXPECT_TRUE(window->cbSave->isChecked());
  EXPECT_EQ(window->edMasterPass->text(), "pw");
  EXPECT_EQ(errors.size(), 1);
}

TEST_F(MainWindowActionsTest, UntickingRunAtLogOnThatCannotBeRemovedIsReportedAndKeepsTheTick) {
  window->cbRunOnStartup->setChecked(true);
  const auto entry = folder / "config" / "autostart" / "org.korvane.Quillgate.desktop";
  const std::string registered = ReadFile(entry);
  {
    const TReadOnlyFolder readOnly(entry.parent_path());
    window->cbRunOnStartup->click();
  }
  // One report: putting the tick back registered nothing (that would have failed here too).
  ASSERT_EQ(errors.size(), 1);
  EXPECT_EQ(errors[0].toStdString(),
            "Failed to delete data for 'Korvane Quillgate'\n\nPermission denied");
  EXPECT_TRUE(window->cbRunOnStartup->isChecked());
  EXPECT_EQ(ReadFile(entry), registered);
  EXPECT_EQ(GetAutoRun(*env), ProgramPath);

  window->cbRunOnStartup->click(); // writable again: the untick removes it
  EXPECT_FALSE(window->cbRunOnStartup->isChecked());
  EXPECT_EQ(GetAutoRun(*env), u"");
  EXPECT_EQ(errors.size(), 1);
}

// A site's button brings back the login last used with it, selected so that typing replaces it;
// the empty login too. Generate gives what the box shows.
TEST_F(MainWindowActionsTest, ASitesButtonFillsTheLoginLastUsedWithItSelected) {
  ClickSite(0);
  Type("pw", "https://one.example", "bob");
  Press("bbGenerate");
  ClickSite(1);
  Type("pw", "https://two.example", "");
  Press("bbGenerate");
  ClickSite(2);
  EXPECT_EQ(window->edLogin->currentText(), "") << "no login recorded for the third site";

  // A later opening of the window brings them back too.
  window.reset();
  window = Open();
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  const struct {
    int Site;
    QString Login;
  } rows[] = {{0, "bob"}, {1, ""}, {2, ""}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Site);
    ClickSite(row.Site);
    EXPECT_EQ(window->edLogin->currentText(), row.Login);
    EXPECT_EQ(window->edLogin->lineEdit()->selectedText(), row.Login);
    EXPECT_EQ(window->edPassword->text(), "");
    window->edMasterPass->setText("pw");
    Press("bbGenerate");
    EXPECT_EQ(window->edPassword->text(), Derived("pw", ButtonURL(row.Site), row.Login));
  }
  // The logins of the first site are still offered.
  ClickSite(0);
  EXPECT_EQ(Entries(), QStringList({"alice", "bob"}));
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

} // namespace
