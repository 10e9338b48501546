// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StubFrm.h"

#include "platform/TerminationRequests.h"
#include "ui/ErrorBox.h"
#include "ui/MainWindowFixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <csignal>
#include <gtest/gtest.h>

class ShellTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    stub = NewStub();
    stub->SetErrorBox([this](const std::u16string &message) {
      errors.push_back(QString::fromStdU16String(message));
    });
    stub->SetQuit([this] {
      ++quits;
      // What is on disk at the moment the program is told to end.
      urlsAtQuit =
          std::filesystem::is_regular_file(data / "urls.db") ? Get("urls.db") : std::string();
      windowAtQuit = stub->fmMain() != nullptr;
    });
  }

  // A stub on a desktop that offers the tray `tray` says at the moment it asks.
  std::unique_ptr<TfmStub> NewStub() {
    return std::make_unique<TfmStub>(*env, *protection, ProgramPath, [this] { return tray; });
  }

  // Runs inside the open window's loop once the opening has shown it; the window must close.
  void WhileOpen(const std::function<void()> &step) {
    QTimer::singleShot(0, stub.get(), [this, step] {
      ASSERT_TRUE(stub->MainWindowOpen());
      ASSERT_NE(stub->fmMain(), nullptr);
      step();
    });
  }
  // Makes a request of the tray and lets the calls it queued run: true when it opened the window,
  // which is then closed at once. The request itself must return before the window opens: a
  // tray's host waits for its answer.
  bool Opens(const std::function<void()> &request) {
    bool requesting = true;
    bool checked = false;
    bool wasOpen = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
      if (TfmMain *window = stub->fmMain()) {
        EXPECT_FALSE(requesting) << "the window opened before the tray's call returned";
        wasOpen = true;
        window->reject();
      }
    });
    closer.start(10);
    request();
    requesting = false;
    QTimer::singleShot(0, stub.get(), [&] { checked = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return checked && !stub->MainWindowOpen(); }));
    return wasOpen;
  }
  // The stub's own message boxes on the screen.
  QList<QMessageBox *> StubBoxes() const {
    QList<QMessageBox *> shown;
    for (QMessageBox *box : stub->findChildren<QMessageBox *>(Qt::FindDirectChildrenOnly))
      if (box->isVisible())
        shown << box;
    return shown;
  }
  // Generates a password for a new site, so the window has a list to save.
  void GenerateNewSite() {
    TfmMain &window = *stub->fmMain();
    window.edMasterPass->setText(QStringLiteral("master"));
    window.edURL->setText(QStringLiteral("https://shell.example/login"));
    window.edLogin->setEditText(QStringLiteral("carol"));
    window.bbGenerate->click();
    ASSERT_FALSE(window.edPassword->text().isEmpty());
  }

  TKvTray tray = TKvTray::Docked;
  std::unique_ptr<TfmStub> stub;
  int quits = 0;
  std::string urlsAtQuit;
  bool windowAtQuit = false;
};

TEST_F(ShellTest, TrayIconAndMenuAreSetUpAsTheProgramShowsThem) {
  EXPECT_EQ(stub->TrayIcon->toolTip(), QStringLiteral("Korvane Quillgate"));
  EXPECT_FALSE(stub->TrayIcon->icon().isNull());
  EXPECT_EQ(stub->TrayIcon->contextMenu(), stub->PopupMenu);
  QStringList captions;
  for (const QAction *action : stub->PopupMenu->actions()) {
    captions << action->text();
    EXPECT_FALSE(action->isSeparator());
    EXPECT_TRUE(action->shortcut().isEmpty());
  }
  EXPECT_EQ(captions, (QStringList{"Show", "Exit"}));
  EXPECT_EQ(stub->PopupMenu->defaultAction(), nullptr);
  EXPECT_FALSE(stub->isVisible());
  EXPECT_FALSE(stub->MainWindowOpen());
  EXPECT_EQ(stub->fmMain(), nullptr);
}

TEST_F(ShellTest, ASecondOpeningWhileTheWindowIsOpenBringsItBackWithoutASecondWindow) {
  int reentries = 0;
  TfmMain *first = nullptr;
  WhileOpen([&] {
    first = stub->fmMain();
    // Each of these would run a nested loop of its own if the flag did not stop it; each must
    // restore the minimized window and give it the focus.
    const std::function<void()> requests[] = {
        [&] { stub->TrayIconDblClick(); }, [&] { stub->Show1->trigger(); },
        [&] { emit stub->TrayIcon->activated(QSystemTrayIcon::DoubleClick); }};
    for (const auto &request : requests) {
      first->showMinimized();
      ASSERT_TRUE(QTest::qWaitFor([&] { return first->isMinimized(); }));
      request();
      EXPECT_TRUE(QTest::qWaitFor([&] { return !first->isMinimized(); }));
      EXPECT_TRUE(first->isVisible());
      EXPECT_TRUE(QTest::qWaitForWindowActive(first));
      EXPECT_EQ(stub->fmMain(), first);
      EXPECT_TRUE(stub->MainWindowOpen());
    }
    ++reentries;
    first->reject();
  });
  stub->Show1Click();
  EXPECT_EQ(reentries, 1);
  EXPECT_NE(first, nullptr);
  EXPECT_FALSE(stub->MainWindowOpen());
  EXPECT_EQ(stub->fmMain(), nullptr);
  EXPECT_EQ(quits, 0);
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(ShellTest, ADoubleClickOpensTheWindowAndASingleClickDoesNot) {
  EXPECT_FALSE(Opens([&] { emit stub->TrayIcon->activated(QSystemTrayIcon::Trigger); }));
  EXPECT_TRUE(Opens([&] { emit stub->TrayIcon->activated(QSystemTrayIcon::DoubleClick); }));
  EXPECT_TRUE(Opens([&] { stub->Show1->trigger(); }));
}

// Where the platform reports each middle click on its own (Windows); on X11 the second arrives as a
// double-click event, which the real-tray tests cover.
TEST_F(ShellTest, TwoMiddleClicksInTimeOpenTheWindowAndASingleMiddleClickDoesNot) {
  const auto middleClick = [&] { emit stub->TrayIcon->activated(QSystemTrayIcon::MiddleClick); };
  EXPECT_FALSE(Opens(middleClick));
  QTest::qWait(QApplication::doubleClickInterval() + 100);
  EXPECT_FALSE(Opens(middleClick)); // too late to pair with the first
  EXPECT_TRUE(Opens(middleClick));
  // A third click starts a new pair rather than opening again.
  EXPECT_FALSE(Opens(middleClick));
  EXPECT_TRUE(Opens(middleClick));
}

TEST_F(ShellTest, WhereThePanelReportsNoDoubleClickASingleActivationOpens) {
  stub->SetPrimaryActivationOpens(true);
  // A double-click on such a panel: two activations, the second before the window is up. One
  // window opens, and nothing opens again once it has closed.
  EXPECT_TRUE(Opens([&] {
    emit stub->TrayIcon->activated(QSystemTrayIcon::Trigger);
    emit stub->TrayIcon->activated(QSystemTrayIcon::Trigger);
  }));
  EXPECT_FALSE(Opens([] {}));
}

TEST_F(ShellTest, WithoutATrayTheUserIsToldOnceAndATrayAppearingLaterGetsTheIcon) {
  struct Row {
    const char *name;
    int waitSeconds;
    TKvTray appears;
    bool told;
  };
  const Row rows[] = {
      {"a StatusNotifier host after the wait", 0, TKvTray::StatusNotifier, true},
      {"a docked tray after the wait", 0, TKvTray::Docked, true},
      {"a StatusNotifier host within the wait", 2, TKvTray::StatusNotifier, false},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    stub.reset();
    tray = TKvTray::None;
    Put("config.ini", "[Tray]\r\nWaitAtStart=" + std::to_string(row.waitSeconds) + "\r\n");
    QElapsedTimer since;
    since.start();
    stub = NewStub();
    stub->SetQuit([this] { ++quits; });
    EXPECT_EQ(stub->TrayIcon, nullptr);
    if (row.told) {
      ASSERT_TRUE(QTest::qWaitFor([&] { return !StubBoxes().isEmpty(); }));
      const QMessageBox &box = *StubBoxes().front();
      EXPECT_EQ(box.windowTitle(), "Korvane Quillgate");
      EXPECT_EQ(box.icon(), QMessageBox::Warning);
      // What is missing, that the program goes on, how to reach its window, and what GNOME needs.
      for (const char *part : {"No system tray", "keeps running",
                               "start Korvane Quillgate again from the application menu", "GNOME",
                               "AppIndicator extension"})
        EXPECT_TRUE(box.text().contains(QLatin1String(part)))
            << part << " in " << box.text().toStdString();
    }

    tray = row.appears;
    ASSERT_TRUE(QTest::qWaitFor([&] { return stub->TrayIcon != nullptr; }, 3000));
    EXPECT_EQ(stub->TrayIcon->toolTip(), "Korvane Quillgate");
    EXPECT_EQ(stub->TrayIcon->contextMenu(), stub->PopupMenu);
    if (!row.told)
      QTest::qWait(std::max<int>(0, row.waitSeconds * 1000 + 500 - int(since.elapsed())));
    EXPECT_EQ(StubBoxes().size(), row.told ? 1 : 0);

    // The form of the tray that appeared decides what opens the window.
    const bool singleOpens = row.appears == TKvTray::StatusNotifier;
    EXPECT_EQ(Opens([&] { emit stub->TrayIcon->activated(QSystemTrayIcon::Trigger); }),
              singleOpens);
    EXPECT_TRUE(Opens([&] { emit stub->TrayIcon->activated(QSystemTrayIcon::DoubleClick); }));
    EXPECT_EQ(quits, 0);
  }
}

TEST_F(ShellTest, ClosingTheWindowSavesItsListsAndTheProgramGoesOn) {
  WhileOpen([&] {
    GenerateNewSite();
    stub->fmMain()->bbClose->click();
  });
  stub->TrayIconDblClick();
  EXPECT_NE(Get("urls.db").find("https://shell.example"), std::string::npos);
  EXPECT_NE(Get("logins.db").find("carol"), std::string::npos);
  EXPECT_EQ(quits, 0);
}

TEST_F(ShellTest, ExitWithTheWindowOpenSavesTheListsBeforeTheProgramEnds) {
  WhileOpen([&] {
    GenerateNewSite();
    stub->Exit1->trigger();
    // The window's loop ends with "cancel" once this handler returns; nothing has quit yet.
    EXPECT_EQ(quits, 0);
  });
  stub->Show1Click();
  EXPECT_EQ(quits, 1);
  EXPECT_FALSE(windowAtQuit);
  EXPECT_NE(urlsAtQuit.find("https://shell.example"), std::string::npos);
  EXPECT_NE(Get("logins.db").find("carol"), std::string::npos);
  EXPECT_TRUE(Has("config.ini"));
  EXPECT_FALSE(stub->MainWindowOpen());
  EXPECT_EQ(stub->fmMain(), nullptr);
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(ShellTest, ACopiedPasswordLeavesTheClipboardAfterTheConfiguredDelayOrAtTheEnd) {
  QClipboard &clipboard = *QGuiApplication::clipboard();
  // The delay is read when the program starts.
  const auto start = [&](const char *seconds) {
    stub.reset();
    Put("config.ini", std::string("[Clipboard]\r\nClearAfter=") + seconds + "\r\n");
    stub = NewStub();
    stub->SetQuit([] {});
  };
  start("1");
  const auto copyAndClose = [&] {
    WhileOpen([&] {
      GenerateNewSite();
      stub->fmMain()->sbCopy->click();
      stub->fmMain()->bbClose->click();
    });
    stub->Show1Click();
    ASSERT_FALSE(stub->MainWindowOpen());
  };

  // The window is closed at once; the delay, the program's, still runs. (Qt's timers of this
  // length may fire up to 5 % early.)
  QElapsedTimer since;
  since.start();
  copyAndClose();
  const QString password = clipboard.text();
  EXPECT_EQ(password.size(), 16);
  EXPECT_TRUE(QTest::qWaitFor([&] { return clipboard.text().isEmpty(); }, 5000));
  EXPECT_GE(since.elapsed(), 900);

  // The program ends before the delay: what is still ours goes with it, the user's own stays.
  for (const bool userCopies : {false, true}) {
    SCOPED_TRACE(userCopies ? "the user copied since" : "still ours");
    start("60");
    copyAndClose();
    EXPECT_EQ(clipboard.text(), password);
    if (userCopies)
      clipboard.setText("the user's own");
    stub.reset();
    EXPECT_EQ(clipboard.text(), userCopies ? "the user's own" : "");
  }
  start("60");
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(ShellTest, ExitWithNoWindowEndsTheProgramAtOnce) {
  stub->Exit1->trigger();
  EXPECT_EQ(quits, 1);
  EXPECT_FALSE(Has("urls.db"));
}

TEST_F(ShellTest, ATerminationSignalWithTheWindowOpenSavesTheListsAndEnds) {
  stub->WatchTermination(WatchTerminationRequests());
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    std::filesystem::remove_all(data);
    quits = 0;
    WhileOpen([&] {
      GenerateNewSite();
      std::raise(signal); // only recorded here; the window's loop picks it up
      EXPECT_TRUE(stub->MainWindowOpen());
    });
    stub->TrayIconDblClick();
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(windowAtQuit);
    EXPECT_NE(urlsAtQuit.find("https://shell.example"), std::string::npos);
    EXPECT_NE(Get("logins.db").find("carol"), std::string::npos);
  }
  EXPECT_TRUE(errors.isEmpty());
}

TEST_F(ShellTest, ABoxBelongsToTheWindowAndExitWithItOpenStillSaves) {
  stub->SetErrorBox({}); // the real boxes
  bool stalled = false;
  WhileOpen([&] {
    TfmMain &window = *stub->fmMain();
    // Had a box held a loop of its own, this closes it after a while, so the test ends.
    auto *guard = new QTimer(&window);
    QObject::connect(guard, &QTimer::timeout, [&] {
      if (QWidget *box = QApplication::activeModalWidget()) {
        stalled = true;
        box->close();
      }
    });
    guard->start(1000);
    window.bbGenerate->click(); // empty boxes: the warning
    ShowErrorBox(u"An error the user has not closed", &window);
    stub->ReportError(u"Reported while the window is open");
    // Each call returned at once; the boxes are modal to the window alone.
    const QList<QMessageBox *> boxes = window.findChildren<QMessageBox *>();
    ASSERT_EQ(boxes.size(), 3);
    for (QMessageBox *box : boxes) {
      EXPECT_TRUE(box->isVisible());
      EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    }
    GenerateNewSite();
    stub->Exit1->trigger();
  });
  stub->Show1Click();
  EXPECT_FALSE(stalled);
  EXPECT_EQ(quits, 1);
  EXPECT_FALSE(windowAtQuit);
  EXPECT_NE(urlsAtQuit.find("https://shell.example"), std::string::npos);
  EXPECT_NE(Get("logins.db").find("carol"), std::string::npos);
  EXPECT_TRUE(Has("config.ini"));
}

TEST_F(ShellTest, ATerminationWithABoxOpenSavesAndReportsClosingErrorsOnStandardError) {
  stub->WatchTermination(WatchTerminationRequests());
  stub->SetErrorBox({}); // the real box, which the termination must not wait for
  WhileOpen([&] {
    // A folder where the site list should be, once the window has read it: the closing cannot
    // write it.
    std::filesystem::create_directories(data / "urls.db" / "in-the-way");
    GenerateNewSite();
    ShowErrorBox(u"A box the user has not closed", stub->fmMain());
    std::raise(SIGTERM);
  });
  testing::internal::CaptureStderr();
  stub->Show1Click();
  const std::string stderrText = testing::internal::GetCapturedStderr();
  EXPECT_EQ(quits, 1);
  EXPECT_FALSE(stub->MainWindowOpen());
  EXPECT_NE(stderrText.find("urls.db"), std::string::npos) << stderrText;
  EXPECT_NE(Get("logins.db").find("carol"), std::string::npos);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(ShellTest, ExitWhoseClosingCannotSaveEndsOnlyOnceItsErrorBoxIsClosed) {
  stub->SetErrorBox({}); // the real box
  WhileOpen([&] {
    // A folder where the site list should be, once the window has read it: the closing cannot
    // write it.
    std::filesystem::create_directories(data / "urls.db" / "in-the-way");
    GenerateNewSite();
    stub->Exit1->trigger();
  });
  stub->Show1Click();
  // The box is up, and the program waits for the user to read it.
  QMessageBox *box = stub->findChild<QMessageBox *>();
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  EXPECT_NE(box->text().toStdString().find("urls.db"), std::string::npos);
  EXPECT_EQ(quits, 0);
  EXPECT_NE(Get("logins.db").find("carol"), std::string::npos); // the rest was saved
  box->button(QMessageBox::Ok)->click();
  EXPECT_EQ(quits, 1);
}

TEST_F(ShellTest, AWindowThatCannotSaveReportsAndIsStillDestroyed) {
  WhileOpen([&] {
    // A folder where the site list should be, once the window has read it: the closing cannot
    // write it.
    std::filesystem::create_directories(data / "urls.db" / "in-the-way");
    GenerateNewSite();
    stub->fmMain()->reject();
  });
  stub->Show1Click();
  EXPECT_EQ(errors.size(), 1);
  EXPECT_FALSE(stub->MainWindowOpen());
  EXPECT_EQ(stub->fmMain(), nullptr);
}

TEST_F(ShellTest, ATerminationWhileTheOpeningsErrorBoxIsUpEndsOnceTheWindowHasSaved) {
  stub->WatchTermination(WatchTerminationRequests());
  stub->SetErrorBox({}); // the real box, raised while the window is made
  Put("master.key", "not a sealed key");
  WhileOpen([&] {
    ASSERT_EQ(StubBoxes().size(), 1);
    EXPECT_EQ(StubBoxes().front()->icon(), QMessageBox::Critical);
    GenerateNewSite();
    std::raise(SIGTERM);
  });
  stub->Show1Click();
  EXPECT_EQ(quits, 1);
  EXPECT_FALSE(windowAtQuit);
  EXPECT_NE(urlsAtQuit.find("https://shell.example"), std::string::npos);
  EXPECT_EQ(Get("master.key"), "not a sealed key");
}

TEST_F(ShellTest, TheSessionsQuestionSavesTheOpenWindowAndOnlyItsEndEndsTheProgram) {
  WhileOpen([&] {
    GenerateNewSite();
    stub->SaveForSessionEnd();
    // Saved, with the window open and the program going on.
    EXPECT_NE(Get("urls.db").find("https://shell.example"), std::string::npos);
    EXPECT_NE(Get("logins.db").find("carol"), std::string::npos);
    EXPECT_NE(Get("config.ini").find("Top="), std::string::npos);
    EXPECT_TRUE(stub->MainWindowOpen());
    EXPECT_TRUE(stub->fmMain()->isVisible());
    EXPECT_EQ(quits, 0);
    // The session goes on: the window saves again at its end, which the platform asks for with a
    // quit request.
    stub->fmMain()->edURL->setText(QStringLiteral("https://later.example/"));
    stub->fmMain()->bbGenerate->click();
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
  });
  stub->Show1Click();
  EXPECT_EQ(quits, 1);
  EXPECT_FALSE(windowAtQuit);
  EXPECT_NE(urlsAtQuit.find("https://later.example"), std::string::npos);
  EXPECT_TRUE(errors.isEmpty());
}
