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
#include <cstdio>
#ifdef KV_STATUS_NOTIFIER
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#endif
#include <memory>
#include <optional>
#include <vector>

bool TrayReportsDoubleClicks() {
#ifdef KV_STATUS_NOTIFIER
  // Qt puts its tray icon on the session bus as a StatusNotifierItem when a notifier host is
  // registered with the watcher; such panels send one activation and no double-click.
  const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(watcher))
    return true;
  QDBusInterface host(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
  return !host.property("IsStatusNotifierHostRegistered").toBool();
#else
  return true;
#endif
}

TfmStub::TfmStub(const IKvEnvironment &env, IKvDataProtection &protection,
                 std::u16string programPath, QWidget *parent)
    : QWidget(parent), FEnv(env), FProtection(protection), FProgramPath(std::move(programPath)),
      FQuit([] { QCoreApplication::quit(); }),
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
  connect(Show1, &QAction::triggered, this, [this] { Show1Click(); });
  connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });

  FPrimaryActivationOpens = !TrayReportsDoubleClicks();
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
              TrayIconDblClick();
          });
  TrayIcon->show();
  QCoreApplication::instance()->installEventFilter(this);
}

TfmStub::~TfmStub() = default;

bool TfmStub::eventFilter(QObject *watched, QEvent *event) {
  // On X11 the second press of a double-click comes as a double-click event, which Qt's tray
  // icon turns into activated(DoubleClick) for the left button only. A middle or right
  // double-click is caught here instead: for the right button its second press reaches the menu
  // that the first press opened, so the event is taken wherever it lands on the icon, except in
  // the main window where that covers the icon.
  if (event->type() == QEvent::MouseButtonDblClick && watched->isWidgetType() &&
      static_cast<QWidget *>(watched)->window() != FMainWindow.get()) {
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if ((mouse->button() == Qt::MiddleButton || mouse->button() == Qt::RightButton) &&
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
  // the user has closed it, rather than taking it away unread. A termination request still ends
  // the program at once.
  std::vector<QMessageBox *> boxes;
  for (QMessageBox *box : findChildren<QMessageBox *>(Qt::FindDirectChildrenOnly))
    if (box->isVisible())
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
