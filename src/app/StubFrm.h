// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's hidden main form: it owns the tray icon and its menu, and opens the main window
// from them. It is never shown; its lifetime is the program's.

#include "app/Application.h"
#include "platform/TrayHost.h"

#include <QElapsedTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class IKvDataProtection;
class IKvEnvironment;
class IKvTerminationRequests;
class QAction;
class QEventLoop;
class QMenu;
class QSocketNotifier;
class QSystemTrayIcon;
class QTimer;
class TfmMain;
class TKvClipboardGuard;

// Tells which tray the desktop offers at this moment (AvailableTray for the program).
using TKvFindTray = std::function<TKvTray()>;

class TfmStub : public QWidget {
  Q_OBJECT

public:
  // env, protection and programPath are handed to every main window it opens, with the program's
  // clipboard guard, whose delay is read from config.ini here. The tray icon, with the
  // application's name (the program's title) as its tooltip, is shown at once when findTray finds
  // a tray. Else it is shown as soon as a tray appears, and when none has appeared within the wait
  // of config.ini, a box says so once.
  TfmStub(const IKvEnvironment &env, IKvDataProtection &protection, std::u16string programPath,
          TKvFindTray findTray = AvailableTray, QWidget *parent = nullptr);
  ~TfmStub() override;

  // Open the main window and return when it has closed and saved; while it is open, bring it to
  // the front instead.
  void TrayIconDblClick();
  void Show1Click();
  // Ends the program; an open main window is closed with "cancel" and saves first.
  void Exit1Click();
  // The orderly exit of a log-off, a shutdown or a termination signal: as "Exit", but errors go to
  // the standard error stream instead of a box that would stall the shutdown, and the program
  // ends once the window has saved, whatever boxes are open. A quit request from the platform
  // (the session manager's "die", the end of a Windows session) comes here too.
  void EndProgram();
  // The session manager's question before a log-off or shutdown, which may yet be called off: the
  // open window saves its lists and position and stays open, and the program goes on. Errors go
  // to the standard error stream, as at the session's end; a later closing saves again.
  void SaveForSessionEnd();
  // The last resort when the process ends without its event loop (the display went away): the
  // open window saves its lists and position; errors go to the standard error stream.
  void SaveOpenWindow();
  // Ends the program in order when a termination request arrives.
  void WatchTermination(std::unique_ptr<IKvTerminationRequests> requests);

  bool MainWindowOpen() const { return FMainWindowOpen; }
  TfmMain *fmMain() const { return FMainWindow.get(); }

  // Reports an error: the error box (on the open window, or on its own), or the standard error
  // stream once the program is ending.
  void ReportError(const std::u16string &message);

  // Replace the error box and what ends the event loops (tests capture both).
  void SetErrorBox(TKvReport errorBox) { FErrorBox = std::move(errorBox); }
  void SetQuit(std::function<void()> quit) { FQuit = std::move(quit); }
  // Whether a single activation of the tray icon opens the window: on panels that report no
  // double-click (a StatusNotifierItem host), decided when the icon is made.
  void SetPrimaryActivationOpens(bool opens) { FPrimaryActivationOpens = opens; }

  // Null until the desktop has a tray.
  QSystemTrayIcon *TrayIcon = nullptr;
  QMenu *PopupMenu;
  QAction *Show1;
  QAction *Exit1;

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void ShowTrayIcon(TKvTray tray);
  void WaitForTray(int waitSeconds);
  void SayThereIsNoTray();
  void OpenMainWindow();
  void QuitOnceBoxesAreClosed();
  static void Present(QWidget &window);
  void ShowModal(TfmMain &window);
  bool IsSecondMiddleClick();

  const IKvEnvironment &FEnv;
  IKvDataProtection &FProtection;
  std::u16string FProgramPath;
  TKvReport FErrorBox;
  std::function<void()> FQuit;
  TKvFindTray FFindTray;
  // While there is no tray: asks again every second, and tells the user once the wait is over.
  QTimer *FTrayLookout = nullptr;
  QTimer *FTrayWait = nullptr;

  // The program's clipboard guard: it outlives every window, so a copied password is taken back
  // after the window closed, and when the stub ends with the program, what is still ours leaves
  // the clipboard. Declared before the window, which uses it, so it goes after it.
  std::unique_ptr<TKvClipboardGuard> FClipboard;
  bool FMainWindowOpen = false;
  std::unique_ptr<TfmMain> FMainWindow;
  bool FQuitAfterClose = false;
  bool FEnding = false;
  bool FPrimaryActivationOpens = false;
  QElapsedTimer FLastMiddleClick;
  std::unique_ptr<IKvTerminationRequests> FTermination;
  // Declared after the requests it watches, so it goes first.
  std::unique_ptr<QSocketNotifier> FTerminationNotifier;
};
