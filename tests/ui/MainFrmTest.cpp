// SPDX-License-Identifier: GPL-3.0-or-later
#include "MainWindowFixture.h"
#include "platform/ProfileFile.h"
#include "storage/MasterPassword.h"
#include "storage/Settings.h"
#include "ui/Images.h"
#include "ui/MainFormLayout.h"
#include "ui/ThumbButtonGroup.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <functional>
#include <memory>
#include <vector>

namespace {

TEST_F(MainWindowTest, LayoutMatchesTheDialogTable) {
  auto window = Open();
  EXPECT_EQ(window->windowTitle(), "Korvane Quillgate v1.5");
  EXPECT_EQ(window->size(), QSize(MainFormWidth, MainFormHeight));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                        Qt::WindowContextHelpButtonHint));

  // Every control of the form's table, as the table says; the link label is checked below.
  for (const TKvControlPlace &place : MainFormControls()) {
    SCOPED_TRACE(place.Name);
    QWidget *control = Control<QWidget>(*window, place.Name);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->parentWidget(), window.get());
    EXPECT_EQ(control->toolTip(), QString::fromUtf8(place.Hint));
    const QFont font = control->font();
    EXPECT_EQ(font.pixelSize(), place.FontPixels ? place.FontPixels : MainFormFontPixels);
    EXPECT_EQ(font.families().value(0), "Tahoma");
    EXPECT_FALSE(font.underline());
    QString text;
    switch (place.Kind) {
    case TKvControlKind::Label:
      ASSERT_TRUE(qobject_cast<QLabel *>(control));
      text = qobject_cast<QLabel *>(control)->text();
      break;
    case TKvControlKind::Edit:
    case TKvControlKind::PasswordEdit:
    case TKvControlKind::SecretEdit:
      ASSERT_TRUE(qobject_cast<QLineEdit *>(control));
      text = qobject_cast<QLineEdit *>(control)->text();
      EXPECT_EQ(qobject_cast<QLineEdit *>(control)->isReadOnly(),
                place.Kind == TKvControlKind::SecretEdit);
      break;
    case TKvControlKind::CheckBox:
      ASSERT_TRUE(qobject_cast<QCheckBox *>(control));
      text = qobject_cast<QCheckBox *>(control)->text();
      break;
    case TKvControlKind::ButtonGroup:
      ASSERT_TRUE(qobject_cast<TKvThumbButtonGroup *>(control));
      break;
    case TKvControlKind::DropDown:
      ASSERT_TRUE(qobject_cast<QComboBox *>(control));
      text = qobject_cast<QComboBox *>(control)->currentText();
      break;
    case TKvControlKind::GlyphButton: {
      auto *button = qobject_cast<QToolButton *>(control);
      ASSERT_TRUE(button);
      text = button->text();
      // Without a caption it shows the delete glyph.
      EXPECT_EQ(button->icon().isNull(), *place.Caption != 0);
      break;
    }
    case TKvControlKind::PushButton:
      ASSERT_TRUE(qobject_cast<QPushButton *>(control));
      text = qobject_cast<QPushButton *>(control)->text();
      break;
    }
    if (control == window->lbSite)
      continue;
    EXPECT_EQ(control->geometry(), QRect(place.Left, place.Top, place.Width, place.Height));
    EXPECT_EQ(text, QString::fromUtf8(place.Caption));
  }
  // The start-at-log-on box speaks the platform's language.
#ifdef _WIN32
  EXPECT_EQ(window->cbRunOnStartup->text(), "Run on Windows startup");
#else
  EXPECT_EQ(window->cbRunOnStartup->text(), "Run at log-on");
#endif
  // The link keeps its right edge at 308 and is at least 239 wide, wider when the address needs it.
  EXPECT_EQ(window->lbSite->text(), "Need more features? Please visit " + HomePageAddress());
  const QRect site = window->lbSite->geometry();
  EXPECT_EQ(site.right() + 1, 308);
  EXPECT_EQ(site.top(), 375);
  EXPECT_EQ(site.height(), 13);
  EXPECT_GE(site.width(), 239);
  EXPECT_GE(site.width(), window->lbSite->fontMetrics().horizontalAdvance(window->lbSite->text()));

  EXPECT_EQ(window->edMasterPass->echoMode(), QLineEdit::Password);
  EXPECT_EQ(window->edMasterPass->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter), '*');
  EXPECT_TRUE(window->edPassword->isReadOnly());
  EXPECT_FALSE(window->edURL->isReadOnly());
  EXPECT_EQ(window->lbSite->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
  for (QPushButton *button : window->findChildren<QPushButton *>()) {
    SCOPED_TRACE(button->objectName().toStdString());
    EXPECT_FALSE(button->autoDefault());
    EXPECT_FALSE(button->isDefault());
  }
  for (const char *name : {"sbDeleteURL", "sbDeleteLogin", "sbCopy", "Label1", "lbSite"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Control<QWidget>(*window, name)->focusPolicy(), Qt::NoFocus);
  }
}

// The taskbar and the window switcher of a Linux desktop show the window's icon; the Windows title
// bar has none.
TEST_F(MainWindowTest, WindowHasTheProgramsIconExceptOnWindows) {
  auto window = Open();
#ifdef Q_OS_WIN
  EXPECT_FALSE(window->testAttribute(Qt::WA_SetWindowIcon));
#else
  ASSERT_TRUE(window->testAttribute(Qt::WA_SetWindowIcon));
  EXPECT_EQ(window->windowIcon().pixmap(QSize(32, 32)).toImage(),
            ProgramIcon().pixmap(QSize(32, 32)).toImage());
#endif
}

TEST_F(MainWindowTest, TabVisitsTheControlsInTheirFocusOrderStartingInTheMasterPassword) {
  auto window = Open();
  window->show();
  QApplication::setActiveWindow(window.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  EXPECT_EQ(QApplication::focusWidget(), window->edMasterPass);

  const QStringList expected = {"cbSave",   "edPassword",     "bbGenerate",
                                "bbClose",  "cbRunOnStartup", "edURL",
                                "bgThumbs", "edLogin",        "edMasterPass"};
  QStringList visited;
  for (int i = 0; i < expected.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget *focus = QApplication::focusWidget();
    // The drop-down's text box takes the focus on the drop-down's behalf.
    if (focus && focus->parentWidget() == window->edLogin)
      focus = window->edLogin;
    visited << (focus ? focus->objectName() : QString());
  }
  EXPECT_EQ(visited, expected);
}

TEST_F(MainWindowTest, NeitherScreenReadersNorInputMethodsGetTheMasterPasswordsText) {
  std::filesystem::create_directories(data);
  SaveMasterPassword(u"saved Kq4w", (data / "master.key").u16string(), *protection);
  auto window = Open();
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  QLineEdit *box = window->edMasterPass;
  ASSERT_EQ(box->text(), "saved Kq4w");
  box->setFocus();
  box->selectAll();
  QTest::keyClicks(box, "s3cret Qx7z");
  ASSERT_EQ(box->text(), "s3cret Qx7z");
  EXPECT_EQ(box->echoMode(), QLineEdit::Password);
  box->selectAll();

  QAccessibleInterface *readable = QAccessible::queryAccessibleInterface(box);
  ASSERT_NE(readable, nullptr);
  EXPECT_EQ(readable->role(), QAccessible::EditableText);
  EXPECT_TRUE(readable->state().passwordEdit);
  EXPECT_TRUE(readable->state().focused);
  EXPECT_EQ(readable->text(QAccessible::Name), "Master password");
  EXPECT_EQ(readable->text(QAccessible::Value), "***********") << "as many stars as it shows";
  for (const QAccessible::Text kind :
       {QAccessible::Name, QAccessible::Description, QAccessible::Value, QAccessible::Help,
        QAccessible::Accelerator, QAccessible::UserText}) {
    SCOPED_TRACE(int(kind));
    const QString text = readable->text(kind);
    EXPECT_FALSE(text.contains("s3cret") || text.contains("Qx7z") || text.contains("Kq4w"))
        << text.toStdString();
  }
  // Nothing to read the text through. Without a text interface the platform's bridge also drops
  // the text of the box's change events, which Qt's line edit fills with the plain password.
  EXPECT_EQ(readable->textInterface(), nullptr);
  EXPECT_EQ(readable->editableTextInterface(), nullptr);
  EXPECT_EQ(readable->valueInterface(), nullptr);
  EXPECT_TRUE(readable->actionInterface()); // it can still be focused

  // Nor does an input method get the text around the cursor, which Qt's line edit would give it.
  box->setCursorPosition(4);
  for (const Qt::InputMethodQuery query : {Qt::ImSurroundingText, Qt::ImTextBeforeCursor,
                                           Qt::ImTextAfterCursor, Qt::ImCurrentSelection}) {
    SCOPED_TRACE(int(query));
    EXPECT_EQ(box->inputMethodQuery(query).toString(), QString());
  }
  EXPECT_EQ(box->inputMethodQuery(Qt::ImCursorPosition).toInt(), 4);
  EXPECT_TRUE(box->inputMethodHints() & Qt::ImhSensitiveData);
}

// Enter in the master, URL or login box generates; elsewhere it presses nothing. Escape is Close,
// and the closing writes the files as Close's does.
TEST_F(MainWindowTest, EnterInATextBoxGeneratesAndEscapeClosesAsCloseDoes) {
  auto window = Open();
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  QSignalSpy generate(window->bbGenerate, &QPushButton::clicked);
  QSignalSpy close(window->bbClose, &QPushButton::clicked);
  window->edMasterPass->setText("pw");
  window->edURL->setText("https://enter.example");
  int generated = 0;
  for (QLineEdit *box : {window->edMasterPass, window->edURL, window->edLogin->lineEdit()})
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
      SCOPED_TRACE(box->objectName().toStdString() + " " + std::to_string(key));
      window->edPassword->clear();
      QTest::keyClick(box, key);
      EXPECT_EQ(generate.count(), ++generated);
      EXPECT_FALSE(window->edPassword->text().isEmpty());
    }
  for (QWidget *control :
       {static_cast<QWidget *>(window->cbSave), static_cast<QWidget *>(window->sbCopy)}) {
    QTest::keyClick(control, Qt::Key_Return);
    EXPECT_EQ(generate.count(), generated) << control->objectName().toStdString();
  }
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(close.count(), 0);

  QTest::keyClick(window->edURL, Qt::Key_Escape);
  EXPECT_EQ(close.count(), 1);
  EXPECT_FALSE(window->isVisible());
  window.reset(); // the program ends a closed window, which writes its files
  EXPECT_NE(Get("urls.db").find("https://enter.example"), std::string::npos)
      << "the closing wrote the new site";
}

TEST_F(MainWindowTest, LoginBoxCompletesInlineIgnoringCaseAndNeverInsertsOnEnter) {
  auto window = Open();
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  QComboBox *login = window->edLogin;
  EXPECT_EQ(login->insertPolicy(), QComboBox::NoInsert);
  login->addItems({"zed", "Bob", "bobby"});
  login->clearEditText();
  login->lineEdit()->setFocus();
  QTest::keyClicks(login->lineEdit(), "bo");
  EXPECT_EQ(login->currentText(), "Bob");
  EXPECT_EQ(login->lineEdit()->selectedText(), "b");
  EXPECT_EQ(login->currentIndex(), 1);
  QTest::keyClick(login->lineEdit(), Qt::Key_Backspace); // takes the completion back, no more
  EXPECT_EQ(login->currentText(), "Bo");
  QTest::keyClicks(login->lineEdit(), "bb");
  EXPECT_EQ(login->currentText(), "bobby");
  EXPECT_EQ(login->lineEdit()->selectedText(), "y");
  QTest::keyClicks(login->lineEdit(), "x");
  EXPECT_EQ(login->currentText(), "bobbx");

  login->setEditText(QString());
  QTest::keyClicks(login->lineEdit(), "carol");
  QTest::keyClick(login->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(login->count(), 3);
  EXPECT_EQ(login->itemText(0), "zed"); // the order the entries were added in
}

TEST_F(MainWindowTest, FirstStartSeedsTheExampleSiteAndClosingWritesEveryFile) {
  {
    auto window = Open();
    EXPECT_TRUE(std::filesystem::is_directory(data));
    EXPECT_EQ(window->pos(), QPoint(100, 100));
    EXPECT_FALSE(window->cbSave->isChecked());
    EXPECT_FALSE(window->cbRunOnStartup->isChecked());
    EXPECT_TRUE(window->edMasterPass->text().isEmpty());
    EXPECT_EQ(window->LastClickedButton(), -1);
    ASSERT_EQ(window->bgThumbs->Count(), 1);
    EXPECT_EQ(window->bgThumbs->Caption(0), "   sourceforge.net");
    EXPECT_EQ(window->Site(0).Index, 1);
    EXPECT_EQ(window->Site(0).URL, u"https://sourceforge.net");
  }
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
  EXPECT_EQ(Get("urls.db"), std::string(Mark) + "1:https://sourceforge.net\r\n");
  EXPECT_EQ(Get("logins.db"), Mark);
  EXPECT_FALSE(Has("master.key"));
  const TKvWindowPosition position = LoadWindowPosition((data / "config.ini").u16string());
  EXPECT_EQ(position.Top, 100);
  EXPECT_EQ(position.Left, 100);
  EXPECT_FALSE(Has("urls.db.bak"));
  EXPECT_FALSE(Has("logins.db.bak"));
}

TEST_F(MainWindowTest, StoredSitesBecomeButtonsInLineOrderHoldingTheirLinesURL) {
  const std::string urls = "5:http://five.example/deep/path\r\n"
                           "2:https://user@two.example:8443/a?b=c#d\r\n"
                           "9:ftp://nine.example\r\n";
  Put("urls.db", urls);
  Put("logins.db", "5:alice\r\n9:bob\r\n");
  Put("config.ini", "[Sites]\r\nLines=typed\r\n");
  {
    auto window = Open();
    EXPECT_EQ(Captions(*window),
              QStringList({"   five.example", "   two.example", "   nine.example"}));
    struct Row {
      int32_t index;
      std::u16string url;
    };
    const Row rows[] = {{5, u"http://five.example/deep/path"},
                        {2, u"https://user@two.example:8443/a?b=c#d"},
                        {9, u"ftp://nine.example"}};
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(window->Site(i).Index, rows[i].index);
      EXPECT_EQ(window->Site(i).URL, rows[i].url);
      EXPECT_EQ(window->bgThumbs->ToolTip(i), QString::fromStdU16String(rows[i].url));
    }
    EXPECT_EQ(window->Logins().Count(), 2);
    EXPECT_TRUE(window->edURL->text().isEmpty());
    EXPECT_TRUE(window->edLogin->currentText().isEmpty());
    EXPECT_EQ(window->edLogin->count(), 0);
    EXPECT_TRUE(window->edPassword->text().isEmpty());
  }
  // Lists nobody edited are not written again.
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
  EXPECT_EQ(Get("urls.db"), urls);
  EXPECT_EQ(Get("logins.db"), "5:alice\r\n9:bob\r\n");
}

TEST_F(MainWindowTest, LinesFromBeforeTypedURLsGiveTheSamePasswordsAfterTheFirstOpening) {
  // Such lines come from a reorder, by hand or from the Windows program; their buttons always
  // gave scheme and host, and so do they from now on.
  Put("urls.db", "5:http://five.example/deep/path\r\n"
                 "2:https://user@two.example:8443/a?b=c#d\r\n"
                 "9:ftp://nine.example\r\n"
                 "7:https://[::1]:8080/admin\r\n"
                 "4:no index spelt here\r\n"
                 "x:not a site\r\n");
  const std::string old = Get("urls.db");
  Put("config.ini", "[Window]\r\nTop=120\r\nLeft=130\r\n");
  const std::u16string gave[] = {u"http://five.example", u"https://two.example",
                                 u"ftp://nine.example", u"https://[::1]", u"http://"};
  const std::string rewritten = std::string(Mark) +
                                "5:http://five.example\r\n2:https://two.example\r\n"
                                "9:ftp://nine.example\r\n7:https://[::1]\r\n"
                                "4:http://\r\nx:not a site\r\n";
  for (int opening = 1; opening <= 2; ++opening) {
    SCOPED_TRACE(opening);
    auto window = Open();
    ASSERT_EQ(window->bgThumbs->Count(), 5);
    for (int i = 0; i < 5; ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(window->Site(i).URL, gave[i]);
    }
    // On disk before config.ini says so: a crash in between only repeats the rewrite.
    EXPECT_EQ(Get("urls.db"), rewritten);
    EXPECT_EQ(ReadProfileText((data / "config.ini").u16string(), u"Sites", u"Lines", u""),
              u"typed");
  }
  EXPECT_EQ(LoadWindowPosition((data / "config.ini").u16string()).Top, 120);
  // The list as it was stays beside it, and the user is told where, once.
  EXPECT_EQ(Get("urls.db.before-rewrite.bak"), old);
  ASSERT_EQ(errors.size(), 1) << errors.join("\n").toStdString();
  EXPECT_TRUE(
      errors[0].contains(QString::fromStdString((data / "urls.db.before-rewrite.bak").string())));
}

TEST_F(MainWindowTest, EachButtonTakesTheFirstLineThatSpellsItsIndex) {
  struct Row {
    const char *what;
    std::string urls;
    QStringList captions;
  };
  const Row rows[] = {
      {"the same index twice",
       "4:http://first.example\r\n4:http://second.example\r\n",
       {"   first.example", "   first.example"}},
      {"an index spelt another way",
       "+6:http://plus.example\r\n06:http://zero.example\r\n6:http://six.example\r\n",
       {"   six.example", "   six.example", "   six.example"}},
      {"no line spells the index", "$7:http://hex.example\r\n", {"   "}},
      {"a negative index", "-3:http://minus.example\r\n", {"   minus.example"}},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    Put("urls.db", row.urls);
    auto window = Open();
    EXPECT_EQ(Captions(*window), row.captions);
    for (int i = 0; i < window->bgThumbs->Count(); ++i) {
      const int32_t index = window->Site(i).Index;
      const std::u16string url = window->URLs().GetURL(index);
      EXPECT_TRUE(url.empty() || url.starts_with(window->Site(i).URL));
    }
  }
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(MainWindowTest, MissingLoginsFileStartsAnEmptyLoginList) {
  Put("urls.db", "1:https://one.example\r\n");
  {
    auto window = Open();
    EXPECT_EQ(window->bgThumbs->Count(), 1);
    EXPECT_EQ(window->Logins().Count(), 0);
  }
  EXPECT_TRUE(errors.isEmpty());
  EXPECT_EQ(Get("logins.db"), Mark);
}

TEST_F(MainWindowTest, LoginsWithoutTheirSiteFileAreKeptAsideWhenTheExampleIsSeeded) {
  Put("logins.db", "4:carol\r\n");
  Put("logins.db.without-sites.bak", "older\r\n"); // never replaced
  {
    auto window = Open();
    EXPECT_EQ(Captions(*window), QStringList({"   sourceforge.net"}));
    EXPECT_EQ(window->Logins().Count(), 0);
  }
  const std::filesystem::path kept = data / "logins.db.without-sites.bak.1";
  EXPECT_EQ(errors, QStringList{"\"" + QString::fromStdString((data / "logins.db").string()) +
                                "\" held logins of sites that no site list names any more. They "
                                "are kept in \"" +
                                QString::fromStdString(kept.string()) + "\"."});
  EXPECT_EQ(Get("logins.db.without-sites.bak"), "older\r\n");
  EXPECT_EQ(ReadFile(kept), "4:carol\r\n");
  EXPECT_EQ(Get("logins.db"), Mark);
  EXPECT_EQ(Get("urls.db"), std::string(Mark) + "1:https://sourceforge.net\r\n");
}

TEST_F(MainWindowTest, SiteLineThatDoesNotSplitCostsOnlyItself) {
  struct Row {
    const char *what;
    std::string line;
  };
  const Row rows[] = {
      {"a line without an index", "not a site"},
      {"a blank line", ""},
      {"an index that is no number", "abc:http://abc.example"},
      {"a port that is no number", "4:http://four.example:80a/"},
      {"a bare IPv6 host, as lines once held it", "4:https://::1"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    std::filesystem::remove_all(data);
    errors.clear();
    const std::string urls =
        "3:http://three.example/x\r\n" + row.line + "\r\n7:http://seven.example\r\n";
    Put("urls.db", urls);
    Put("logins.db", "3:dave\r\n7:erin\r\n");
    Put("config.ini", "[Sites]\r\nLines=typed\r\n");
    for (int opening = 1; opening <= 2; ++opening) {
      SCOPED_TRACE(opening);
      {
        auto window = Open();
        EXPECT_EQ(Captions(*window), QStringList({"   three.example", "   seven.example"}));
        EXPECT_EQ(window->Logins().Count(), 2);
        // A new site takes the next index after the good lines.
        window->edMasterPass->setText("pw");
        window->edURL->setText("https://new.example");
        Control<QAbstractButton>(*window, "bbGenerate")->click();
        EXPECT_EQ(window->Site(2).Index, 8);
      }
      EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
      EXPECT_EQ(Get("urls.db"), std::string(Mark) + urls + "8:https://new.example\r\n");
      EXPECT_EQ(Get("logins.db"), "3:dave\r\n7:erin\r\n");
      // The folder as it was: the new site's line and its record go.
      Put("urls.db", urls);
      std::filesystem::remove(data / "records.db");
    }
  }
}

// Bytes that are no text (a NUL, an invalid sequence behind the UTF-8 mark) cost only their own
// characters on screen. The file keeps them while nobody edits the list; an edit writes the list
// with the old file kept beside it, and says where.
TEST_F(MainWindowTest, BytesThatAreNoTextStayUnlessTheListIsEditedAndThenAreKeptAside) {
  const struct {
    const char *what;
    std::string logins;
  } rows[] = {
      {"a NUL", std::string("1:ann\r\n1:b\0ob\r\n1:carl\r\n", 21)},
      {"an invalid sequence behind the mark",
       std::string(Mark) + "1:ann\r\n1:b\xC3ob\r\n1:carl\r\n"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.what);
    std::filesystem::remove_all(data);
    errors.clear();
    Put("urls.db", "1:https://one.example\r\n");
    Put("logins.db", row.logins);
    Open().reset();
    EXPECT_EQ(Get("logins.db"), row.logins);
    {
      auto window = Open();
      EXPECT_EQ(window->Logins().Count(), 3);
      window->edMasterPass->setText("pw");
      window->bgThumbs->ClickButton(0);
      window->edLogin->setEditText("dora");
      window->bbGenerate->click();
    }
    EXPECT_EQ(Get("logins.db.invalid-text.bak"), row.logins);
    EXPECT_TRUE(Get("logins.db").starts_with(std::string(Mark) + "1:ann\r\n"));
    EXPECT_TRUE(Get("logins.db").ends_with("1:carl\r\n1:dora\r\n"));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("logins.db.invalid-text.bak")) << errors[0].toStdString();
  }
}

// A file that exists but cannot be read, for root as well: reading the process's own memory at
// address 0 fails.
void PutUnreadable(const std::filesystem::path &file) {
  std::filesystem::create_symlink("/proc/self/mem", file);
}

// The two lists load together or not at all: with either one unreadable the window shows no site
// of them, no action reaches their lines, and neither file is written. What the user adds is kept
// in "<list>.new" and joins the lists at the first opening that reads both.
TEST_F(MainWindowTest, ListsThatCannotBeReadStayAsTheyAreAndWhatIsAddedJoinsThemLater) {
  const std::string urls = "1:https://one.example\r\n2:https://two.example\r\n";
  const std::string logins = "1:ann\r\n2:bob\r\n";
  for (const char *unreadable : {"urls.db", "logins.db"}) {
    SCOPED_TRACE(unreadable);
    std::filesystem::remove_all(data);
    errors.clear();
    Put("urls.db", urls);
    Put("logins.db", logins);
    std::filesystem::rename(data / unreadable, data / "kept");
    PutUnreadable(data / unreadable);
    for (int session = 1; session <= 2; ++session) {
      SCOPED_TRACE(session);
      auto window = Open();
      ASSERT_EQ(errors.size(), std::size_t(session));
      EXPECT_TRUE(errors.back().startsWith("Stream read error.\n\nInput/output error.\n\nThe site "
                                           "list and the login list are left as they are"))
          << errors.back().toStdString();
      ASSERT_EQ(window->bgThumbs->Count(), session - 1);
      // Generate, delete, reorder and close, each of which once reached the hidden lines.
      window->edMasterPass->setText("pw");
      window->edURL->setText(QString("https://new%1.example/x").arg(session));
      window->edLogin->setEditText("carol");
      window->bbGenerate->click();
      ASSERT_EQ(window->bgThumbs->Count(), session);
      if (session == 2) {
        // As a drop does: the button moves, then the window hears of it.
        emit window->bgThumbs->MoveRequested(1, 0);
        window->bgThumbs->ClickButton(0);
        window->sbDeleteURL->click(); // the new site just added, none of the listed ones
        window->edURL->setText("https://new2.example/x");
        window->edLogin->setEditText("carol");
        window->bbGenerate->click();
      }
      window.reset();
      EXPECT_EQ(ReadFile(data / "kept"), std::string(unreadable) == "urls.db" ? urls : logins);
      EXPECT_TRUE(std::filesystem::is_symlink(data / unreadable));
    }
    EXPECT_EQ(Get("urls.db.new"), std::string(Mark) + "1:https://new1.example/x\r\n"
                                                      "3:https://new2.example/x\r\n");
    EXPECT_EQ(Get("logins.db.new"), std::string(Mark) + "1:carol\r\n3:carol\r\n");

    // Readable again: the sites kept aside join the lists, with indexes of their own.
    std::filesystem::remove(data / unreadable);
    std::filesystem::rename(data / "kept", data / unreadable);
    errors.clear();
    {
      auto window = Open();
      EXPECT_EQ(Captions(*window), QStringList({"   one.example", "   two.example",
                                                "   new1.example", "   new2.example"}));
      ASSERT_EQ(errors.size(), 1);
      EXPECT_TRUE(errors[0].startsWith("Sites and logins added while the lists could not be read "
                                       "were taken into them"));
    }
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(Get("urls.db"), std::string(Mark) + urls +
                                  "3:https://new1.example/x\r\n4:https://new2.example/x\r\n");
    EXPECT_EQ(Get("logins.db"), std::string(Mark) + logins + "3:carol\r\n4:carol\r\n");
    EXPECT_FALSE(Has("urls.db.new"));
    EXPECT_FALSE(Has("logins.db.new"));
  }
}

TEST_F(MainWindowTest, FailingOpeningStepIsReportedWhileTheSitesStillLoadAndSurviveTheClose) {
  Put("urls.db", "1:https://one.example\r\n");
  Put("logins.db", "1:erin\r\n");
  SaveWindowPosition((data / "config.ini").u16string(), 140, 150);
  // An autostart entry that is no file cannot be read.
  std::filesystem::create_directories(folder / "config" / "autostart" /
                                      "org.korvane.Quillgate.desktop");
  // Twice: an error that comes back at every opening must never wear the lists away.
  for (int opening = 1; opening <= 2; ++opening) {
    SCOPED_TRACE(opening);
    errors.clear();
    {
      auto window = Open();
      ASSERT_EQ(errors.size(), 1);
      EXPECT_EQ(errors[0], "Invalid data type for 'Korvane Quillgate'");
      EXPECT_EQ(window->pos(), QPoint(150, 140));
      EXPECT_EQ(window->bgThumbs->Count(), 1);
      EXPECT_EQ(window->URLs().Count(), 1);
      EXPECT_EQ(window->Logins().Count(), 1);
    }
    EXPECT_TRUE(errors.size() == 1) << "the close reported an error";
    EXPECT_EQ(Get("urls.db"), "1:https://one.example\r\n");
    EXPECT_EQ(Get("logins.db"), "1:erin\r\n");
  }
}

// A keyring that is locked at opening: the key that sealed master.key cannot be fetched.
class LockedKeyringTest : public MainWindowTest {
protected:
  void SaveThenLock(const std::u16string &password) {
    std::filesystem::create_directories(data);
    SaveMasterPassword(password, (data / "master.key").u16string(), *protection);
    keyring.available = false;
    NewRun();
  }
  void Unlock() {
    keyring.available = true;
    NewRun();
  }
  // The program fetches the key once per run.
  void NewRun() {
    protection =
        std::make_unique<TKvSealedProtection>(keyring, keyFile, (folder / "machine-id").string());
  }
  const QString Unreadable = "The saved master password could not be read, and it is kept for a "
                             "later opening. Failed to load master key [Windows error code: 1168]";
};

TEST_F(LockedKeyringTest, SavedPasswordThatCannotBeReadIsReportedOnceAndTypingKeepsIt) {
  SaveThenLock(u"saved");
  const std::string sealed = Get("master.key");
  {
    auto window = Open();
    EXPECT_EQ(errors, QStringList{Unreadable});
    EXPECT_FALSE(window->cbSave->isChecked());
    EXPECT_TRUE(window->edMasterPass->text().isEmpty());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QTest::keyClicks(window->edMasterPass, "typed");
    QTest::keyClick(window->edMasterPass, Qt::Key_Backspace);
    window->edMasterPass->clear();
    EXPECT_EQ(Get("master.key"), sealed);
  }
  EXPECT_EQ(errors, QStringList{Unreadable});
  EXPECT_EQ(Get("master.key"), sealed);

  Unlock();
  auto window = Open();
  EXPECT_TRUE(window->cbSave->isChecked());
  EXPECT_EQ(window->edMasterPass->text(), "saved");
  EXPECT_EQ(errors, QStringList{Unreadable});
}

TEST_F(LockedKeyringTest, AfterAFailedLoadOnlyATickWritesAndOnlyAnUntickDeletes) {
  SaveThenLock(u"saved");
  auto window = Open();
  EXPECT_FALSE(window->cbSave->isChecked());
  keyring.available = true; // the keyring is back while the window is open
  window->edMasterPass->setText("new");
  window->cbSave->setChecked(true);
  std::u16string loaded;
  ASSERT_TRUE(LoadMasterPassword((data / "master.key").u16string(), loaded, *protection));
  EXPECT_EQ(loaded, u"new");
  window->edMasterPass->setText("newer"); // ticked: the box is saved as usual again
  ASSERT_TRUE(LoadMasterPassword((data / "master.key").u16string(), loaded, *protection));
  EXPECT_EQ(loaded, u"newer");
  window->cbSave->setChecked(false);
  EXPECT_FALSE(Has("master.key"));
  EXPECT_EQ(errors, QStringList{Unreadable});
}

TEST_F(MainWindowTest, DamagedMasterKeyIsReportedAndKept) {
  Put("master.key", "this is no sealed blob");
  {
    auto window = Open();
    EXPECT_FALSE(window->cbSave->isChecked());
    EXPECT_TRUE(window->edMasterPass->text().isEmpty());
    window->edMasterPass->setText("x");
  }
  EXPECT_EQ(errors,
            QStringList{"The saved master password could not be read, and it is kept for a "
                        "later opening. Failed to load master key [Windows error code: 13]"});
  EXPECT_EQ(Get("master.key"), "this is no sealed blob");
}

TEST_F(MainWindowTest, SavedPasswordComesBackExactlyAsTypedWithoutWritingTheKeyAgain) {
  const std::u16string passwords[] = {
      u"s3cret \u00e9",         u"\u0141\u00F3d\u017A-\u043F\u0430\u0440\u043E\u043B\u044C",
      u"has\u0142o\u20AC1",     u"\U0001F511 key",
      u"lone \xD800 surrogate",
  };
  for (const auto &password : passwords) {
    SCOPED_TRACE(QString::fromStdU16String(password).toStdString());
    {
      auto window = Open();
      window->cbSave->setChecked(true);
      window->edMasterPass->setText(QString::fromStdU16String(password));
    }
    const std::string sealed = Get("master.key");
    {
      auto window = Open();
      EXPECT_TRUE(window->cbSave->isChecked());
      EXPECT_EQ(window->edMasterPass->text().toStdU16String(), password);
    }
    // Sealing takes a fresh nonce, so any rewrite would change the bytes.
    EXPECT_EQ(Get("master.key"), sealed);
    std::filesystem::remove(data / "master.key");
  }
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MainWindowTest, SavePasswordBoxStoresAndRemovesTheKeyOnceOpen) {
  auto window = Open();
  window->edMasterPass->setText("pw");
  EXPECT_FALSE(Has("master.key"));
  window->cbSave->setChecked(true);
  std::u16string loaded;
  ASSERT_TRUE(LoadMasterPassword((data / "master.key").u16string(), loaded, *protection));
  EXPECT_EQ(loaded, u"pw");
  window->cbSave->setChecked(false);
  EXPECT_FALSE(Has("master.key"));
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MainWindowTest, AutostartEntryIsRegisteredAgainForTheRunningProgram) {
  struct Row {
    const char *what;
    std::u16string before; // empty: not registered
    bool ticked;
    std::u16string after;
  };
  const Row rows[] = {
      {"another program's path", u"/usr/local/bin/old-quillgate", true, ProgramPath},
      {"not registered", u"", false, u""},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what);
    SetAutoRun(u"", true, *env);
    if (!row.before.empty())
      SetAutoRun(row.before, false, *env);
    auto window = Open();
    EXPECT_EQ(window->cbRunOnStartup->isChecked(), row.ticked);
    EXPECT_EQ(GetAutoRun(*env), row.after);
  }
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MainWindowTest, PositionWhereTheUserLeftTheWindowIsWhereItOpensNextTime) {
  {
    auto window = Open();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    window->move(321, 234);
    QApplication::processEvents();
    window->reject(); // closing hides the window before it is destroyed
    EXPECT_FALSE(window->isVisible());
  }
  const TKvWindowPosition stored = LoadWindowPosition((data / "config.ini").u16string());
  EXPECT_EQ(stored.Left, 321);
  EXPECT_EQ(stored.Top, 234);
  auto again = Open();
  EXPECT_EQ(again->pos(), QPoint(321, 234));
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(MainWindowTest, StoredPositionIsUsedEvenOffTheScreen) {
  std::filesystem::create_directories(data);
  SaveWindowPosition((data / "config.ini").u16string(), -5000, 7000);
  auto window = Open();
  EXPECT_EQ(window->pos(), QPoint(7000, -5000));
}

TEST_F(MainWindowTest, MoreThanNineSitesShowTheScrollBar) {
  for (const int sites : {9, 10}) {
    SCOPED_TRACE(sites);
    std::string urls;
    for (int i = 1; i <= sites; ++i)
      urls += std::to_string(i) + ":http://site" + std::to_string(i) + ".example\r\n";
    Put("urls.db", urls);
    auto window = Open();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    ASSERT_EQ(window->bgThumbs->Count(), sites);
    auto *bar = window->bgThumbs->findChild<QScrollBar *>("scrollBar");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->isVisibleTo(window->bgThumbs), sites > 9);
  }
}

TEST_F(MainWindowTest, ClosingWritesTheListsEvenWhenThePositionCannotBeSaved) {
  Put("urls.db", "2:https://two.example\r\n");
  std::filesystem::create_directories(data / "config.ini"); // a folder cannot be written as a file
  {
    auto window = Open();
    EXPECT_TRUE(errors.isEmpty());
    window->edMasterPass->setText("pw");
    window->edURL->setText("https://three.example");
    window->bbGenerate->click();
  }
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].startsWith("Unable to write to")) << errors[0].toStdString();
  EXPECT_EQ(Get("urls.db"),
            std::string(Mark) + "2:https://two.example\r\n3:https://three.example\r\n");
  EXPECT_EQ(Get("logins.db"), Mark);
}

TEST_F(MainWindowTest, ClosingReportsOnlyTheFirstOfSeveralFailures) {
  std::filesystem::create_directories(data / "config.ini");
  // A link to a folder that is not there: nothing to read, and nothing can be written.
  std::filesystem::create_symlink("missing/logins.db", data / "logins.db");
  Open().reset();
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].startsWith("Unable to write to")) << errors[0].toStdString();
  EXPECT_EQ(Get("urls.db"), std::string(Mark) + "1:https://sourceforge.net\r\n");
}

// The mark that lines hold typed URLs lives in config.ini, which users take for the window
// position's file: whatever becomes of that file, a site keeps the password it gave.
TEST_F(MainWindowTest, ATypedSiteKeepsItsPasswordWhateverBecomesOfConfigIni) {
  const QString url = "https://example.com/login?next=1";
  using TChange = std::function<void(const std::filesystem::path &)>;
  const struct {
    const char *what;
    TChange change;
  } rows[] = {
      {"deleted", [](const std::filesystem::path &file) { std::filesystem::remove(file); }},
      {"unreadable",
       [](const std::filesystem::path &file) {
         std::filesystem::remove(file);
         PutUnreadable(file);
       }},
      {"a folder in its place",
       [](const std::filesystem::path &file) {
         std::filesystem::remove(file);
         std::filesystem::create_directory(file);
       }},
      {"another machine's copy",
       [this](const std::filesystem::path &file) {
         WriteFile(file, "[Window]\r\nTop=300\r\nLeft=10\r\n[Sites]\r\nLines=typed\r\n");
       }},
      {"one with neither the mark nor a position",
       [this](const std::filesystem::path &file) {
         WriteFile(file, "[Clipboard]\r\nClearAfter=5\r\n");
       }},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.what);
    std::filesystem::remove_all(data);
    errors.clear();
    QString given;
    {
      auto window = Open();
      window->edMasterPass->setText("pw");
      window->edURL->setText(url);
      window->edLogin->setEditText("bob");
      window->bbGenerate->click();
      given = window->edPassword->text();
    }
    const std::string urls = Get("urls.db");
    row.change(data / "config.ini");
    // Twice: the opening after the change, and the one that reads what that one wrote.
    for (int opening = 1; opening <= 2; ++opening) {
      SCOPED_TRACE(opening);
      {
        auto window = Open();
        window->edMasterPass->setText("pw");
        window->bgThumbs->ClickButton(1);
        window->edLogin->setEditText("bob");
        window->bbGenerate->click();
        EXPECT_EQ(window->edURL->text(), url);
        EXPECT_EQ(window->edPassword->text(), given);
      }
      EXPECT_EQ(Get("urls.db"), urls);
      if (std::filesystem::is_directory(data / "config.ini") ||
          std::filesystem::is_symlink(data / "config.ini"))
        std::filesystem::remove_all(data / "config.ini");
    }
    for (const auto &entry : std::filesystem::directory_iterator(data))
      EXPECT_EQ(entry.path().string().find(".bak"), std::string::npos) << entry.path();
  }
}

} // namespace
