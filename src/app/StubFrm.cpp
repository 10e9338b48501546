// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StubFrm.h"

#include "common/KvError.h"
#include "platform/TerminationRequests.h"
#include "storage/Settings.h"
#include "ui/ErrorBox.h"
#include "ui/Images.h"
#include "ui/MainFrm.h"
#include "ui/SecretClipboard.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

TfmStub::TfmStub(const IKvEnvironment &env, IKvDataProtection &protection,
                 std::u16string programPath, TKvFindTray findTray, QWidget *parent)
    : QWidget(parent), FEnv(env), FProtection(protection), FProgramPath(std::move(programPath)),
      FQuit([] { QCoreApplication::exit(0); }), FFindTray(std::move(findTray)),
      FClipboard(std::make_unique<TKvClipboardGuard>(
          *QGuiApplication::clipboard(),
          std::chrono::seconds(LoadClipboardClearAfter(GetConfigFileName(env))))) {
  setObjectName(QStringLiteral("fmStub"));
  setWindowTitle(QCoreApplication::applicationName());

  PopupMenu = new QMenu(this);
  PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
  Show1 = PopupMenu->addAction(QStringLiteral("Show"));
  Show1->setObjectName(QStringLiteral("Show1"));
  Exit1 = PopupMenu->addAction(QStringLiteral("Exit"));
  Exit1->setObjectName(QStringLiteral("Exit1"));
  // A tray's host waits for the answer to its call (a StatusNotifierItem's activation, an event
  // of its menu): the window, which runs its own loop until it closes, opens from a queued call
  // once the answer has gone.
  connect(Show1, &QAction::triggered, this, &TfmStub::Show1Click, Qt::QueuedConnection);
  connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });

  const TKvTray tray = FFindTray();
  if (tray == TKvTray::None)
    WaitForTray(LoadTrayWait(GetConfigFileName(env)));
  else
    ShowTrayIcon(tray);
  QCoreApplication::instance()->installEventFilter(this);
}

void TfmStub::ShowTrayIcon(TKvTray tray) {
  FPrimaryActivationOpens = tray == TKvTray::StatusNotifier;
  TrayIcon = new QSystemTrayIcon(ProgramIcon(), this);
  TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
  TrayIcon->setToolTip(QCoreApplication::applicationName());
  TrayIcon->setContextMenu(PopupMenu);
  connect(TrayIcon, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            // A single click (Trigger, also sent for the first click of a double-click) does
            // nothing, except where the panel reports no double-click at all.
            if (reason == QSystemTrayIcon::DoubleClick ||
                (reason == QSystemTrayIcon::Trigger && FPrimaryActivationOpens) ||
                (reason == QSystemTrayIcon::MiddleClick && IsSecondMiddleClick()))
              QMetaObject::invokeMethod(this, &TfmStub::TrayIconDblClick, Qt::QueuedConnection);
          });
  TrayIcon->show();
}

void TfmStub::WaitForTray(int waitSeconds) {
  // Panels start late at log-on, and a user may add one later: whichever tray appears first gets
  // the icon, in the form it asks for.
  FTrayLookout = new QTimer(this);
  FTrayLookout->setInterval(std::chrono::seconds(1));
  connect(FTrayLookout, &QTimer::timeout, this, [this] {
    const TKvTray tray = FFindTray();
    if (tray == TKvTray::None)
      return;
    FTrayLookout->stop();
    FTrayWait->stop();
    ShowTrayIcon(tray);
  });
  FTrayLookout->start();
  FTrayWait = new QTimer(this);
  FTrayWait->setSingleShot(true);
  connect(FTrayWait, &QTimer::timeout, this, &TfmStub::SayThereIsNoTray);
  FTrayWait->start(std::chrono::seconds(waitSeconds));
}

void TfmStub::SayThereIsNoTray() {
  // Rather than run unseen: the user learns what is missing and how to reach the window anyway
  // (a second start hands its request to this program).
  const QString title = QCoreApplication::applicationName();
  OpenMessageBox(
      QMessageBox::Warning, title,
      QStringLiteral(
          "No system tray was found on this desktop, so %1 cannot show its icon.\n\n"
          "%1 keeps running, and its icon appears as soon as a tray does. To open its window, "
          "start %1 again from the application menu.\n\n"
          "On GNOME, tray icons need the AppIndicator extension (Debian package "
          "gnome-shell-extension-appindicator).")
          .arg(title),
      this);
}

TfmStub::~TfmStub() = default;

bool TfmStub::eventFilter(QObject *watched, QEvent *event) {
  // The platform's quit request (the session's end) would end the loops with the window open and
  // its errors in boxes: it ends the program in order instead. The stub's own end leaves the
  // loops without such a request.
  if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
    EndProgram();
    return true;
  }
  // On X11 the second press of a double-click comes as a double-click event, which Qt's tray
  // icon turns into activated(DoubleClick) for the left button only. A middle or right
  // double-click is caught here instead: for the right button its second press reaches the menu
  // that the first press opened, so the event is taken wherever it lands on the icon, except in
  // the main window where that covers the icon.
  if (event->type() == QEvent::MouseButtonDblClick && watched->isWidgetType() &&
      static_cast<QWidget *>(watched)->window() != FMainWindow.get()) {
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if ((mouse->button() == Qt::MiddleButton || mouse->button() == Qt::RightButton) && TrayIcon &&
        TrayIcon->geometry().contains(mouse->globalPosition().toPoint())) {
      PopupMenu->hide();
      // Out of the event's delivery: the opening runs the window's loop.
      QMetaObject::invokeMethod(this, &TfmStub::TrayIconDblClick, Qt::QueuedConnection);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

bool TfmStub::IsSecondMiddleClick() {
  // Where Qt reports each middle click on its own (Windows), two within the double-click time are
  // a double-click.
  const bool second = FLastMiddleClick.isValid() &&
                      FLastMiddleClick.elapsed() <= QApplication::doubleClickInterval();
  if (second)
    FLastMiddleClick.invalidate();
  else
    FLastMiddleClick.start();
  return second;
}

void TfmStub::TrayIconDblClick() {
  OpenMainWindow();
}

void TfmStub::Show1Click() {
  OpenMainWindow();
}

void TfmStub::Exit1Click() {
  if (FMainWindowOpen && FMainWindow) {
    // The opening ends its modal loop, destroys the window (which saves) and then quits.
    FQuitAfterClose = true;
    FMainWindow->reject();
    return;
  }
  FQuit();
}

void TfmStub::EndProgram() {
  FEnding = true;
  Exit1Click();
}

void TfmStub::SaveForSessionEnd() {
  if (!FMainWindow)
    return;
  // The question allows no box: the session manager has not granted the user's attention.
  const bool ending = std::exchange(FEnding, true);
  FMainWindow->SaveState();
  FEnding = ending;
}

void TfmStub::SaveOpenWindow() {
  FEnding = true;
  if (FMainWindow)
    FMainWindow->FormDestroy();
}

void TfmStub::WatchTermination(std::unique_ptr<IKvTerminationRequests> requests) {
  FTerminationNotifier.reset();
  FTermination = std::move(requests);
  // Windows has no such descriptor: log-off and shutdown come as the session manager's request.
  if (FTermination->Handle() < 0)
    return;
  FTerminationNotifier =
      std::make_unique<QSocketNotifier>(FTermination->Handle(), QSocketNotifier::Read);
  connect(FTerminationNotifier.get(), &QSocketNotifier::activated, this, [this] {
    if (FTermination->Take())
      EndProgram();
  });
}

void TfmStub::ReportError(const std::u16string &message) {
  if (FEnding) {
    std::fprintf(stderr, "%s\n",
                 QString::fromStdU16String(ErrorBoxText(message)).toUtf8().constData());
    return;
  }
  if (FErrorBox)
    FErrorBox(message);
  else if (FMainWindow)
    ShowErrorBox(message, FMainWindow.get());
  else
    ShowErrorBox(message, this);
}

void TfmStub::OpenMainWindow() {
  if (FMainWindowOpen) {
    // The window may be behind others or minimized (a window manager may offer the button
    // whatever the window asks for): it comes back to the front.
    if (FMainWindow)
      Present(*FMainWindow);
    return;
  }
  try {
    FMainWindow =
        std::make_unique<TfmMain>(FEnv, FProtection, *FClipboard, FProgramPath,
                                  [this](const std::u16string &message) { ReportError(message); });
  } catch (...) {
    FMainWindow.reset();
    ReportError(CurrentExceptionMessage());
    return;
  }
  FMainWindowOpen = true;

  std::optional<std::u16string> failure;
  try {
    ShowModal(*FMainWindow);
  } catch (...) {
    failure = CurrentExceptionMessage();
  }

  FMainWindowOpen = false;
  // Destroying the window runs its closing sequence, which saves its state.
  std::unique_ptr<TfmMain> closing = std::move(FMainWindow);
  closing.reset();

  if (failure)
    ReportError(*failure);
  if (FQuitAfterClose) {
    FQuitAfterClose = false;
    QuitOnceBoxesAreClosed();
  }
}

void TfmStub::QuitOnceBoxesAreClosed() {
  // A closing after "Exit" that could not save says so in a box of its own: the program ends once
  // the user has closed it, rather than taking it away unread. A termination request ends the
  // program at once, whatever boxes are open. Only error boxes count: the word that there is no
  // tray is no reason to stay.
  if (FEnding) {
    FQuit();
    return;
  }
  std::vector<QMessageBox *> boxes;
  for (QMessageBox *box : findChildren<QMessageBox *>(Qt::FindDirectChildrenOnly))
    if (box->isVisible() && box->icon() == QMessageBox::Critical)
      boxes.push_back(box);
  if (boxes.empty()) {
    FQuit();
    return;
  }
  auto open = std::make_shared<std::size_t>(boxes.size());
  for (QMessageBox *box : boxes)
    connect(box, &QMessageBox::finished, this, [this, open] {
      if (--*open == 0 && !FEnding)
        FQuit();
    });
}

void TfmStub::ShowModal(TfmMain &window) {
  // A loop of its own rather than QDialog::exec: an application-modal window would block the tray
  // icon's menu, and "Exit" must stay usable while the window is open. The loop also ends when
  // the application is told to quit.
  QEventLoop loop;
  connect(&window, &QDialog::finished, &loop, &QEventLoop::quit);
  window.setWindowModality(Qt::NonModal);
  Present(window);
  loop.exec();
}

void TfmStub::Present(QWidget &window) {
  window.showNormal();
  window.raise();
  window.activateWindow();
}
