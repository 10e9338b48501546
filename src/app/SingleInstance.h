// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One running program per data folder. The first start holds a lock file and answers on a channel
// private to the user (platform/LocalChannel.h), both named after the data folder; a later start
// hands its request to it and ends, so the user's lists never have two writers. A start that cannot
// have the lock does not run at all.

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class IKvChannelConnection;
class IKvChannelServer;
class IKvEnvironment;
class TKvHandleWatch;

// What a later start hands on: the display it was started on and the token that lets the window
// it asks for take the focus.
struct TKvStartRequest {
  QString X11Display;      // DISPLAY
  QString WaylandDisplay;  // WAYLAND_DISPLAY
  QString ActivationToken; // XDG_ACTIVATION_TOKEN
  QString StartupId;       // DESKTOP_STARTUP_ID
};
TKvStartRequest StartRequestFrom(const IKvEnvironment &env);

// The display the running program shows its windows on: the variable that names it and its value
// ({"DISPLAY", ":5"}). Empty where the platform has no such name (offscreen, Windows): then every
// start counts as one from the same display.
struct TKvDisplay {
  QString Variable;
  QString Name;
};
// The display of the running application's platform, from the environment it was started in.
TKvDisplay RunningDisplay(const IKvEnvironment &env);

enum class TKvHandOn {
  Shown,     // the running program opens its window
  Elsewhere, // it runs on another display (Display names it)
  NoAnswer,  // it holds the lock but does not answer
};
struct TKvHandOnResult {
  TKvHandOn Outcome = TKvHandOn::NoAnswer;
  QString Display;
};

class TKvSingleInstance : public QObject {
  Q_OBJECT

public:
  // The lock (and on POSIX the socket) live in runtimeFolder (the user's runtime folder), named
  // after the data folder's full path.
  TKvSingleInstance(const QString &dataFolder, const QString &runtimeFolder);
  // For the program: the data folder and the user's runtime folder of env.
  explicit TKvSingleInstance(const IKvEnvironment &env);
  ~TKvSingleInstance() override;

  enum class TKvLock {
    Taken,  // this is the first start; a lock left by a process that died is taken at once
    Held,   // a running program holds it
    Refused // the runtime folder cannot serve or the lock file cannot be made: Refusal() says why
  };
  TKvLock TryLock();
  // After Refused: the line that tells the user why the program does not start (naming the folder
  // or the lock file), without a line end.
  const QString &Refusal() const { return FRefusal; }
  // Gives the lock up, for a start that ends before it could listen.
  void Unlock() { FLock.unlock(); }

  // The first start, once it holds the lock: answers later starts. False without the lock or when
  // the socket cannot be made.
  bool Listen(TKvDisplay display);
  // A later start: hands the request to the running program and waits for its answer, trying to
  // reach it for up to timeoutMs (it may still be starting).
  TKvHandOnResult HandOn(const TKvStartRequest &request, int timeoutMs) const;

  const QString &LockFileName() const { return FLockFileName; }
  const QString &ServerName() const { return FServerName; }

signals:
  // A later start on this program's display asked for the main window. Emitted from a queued call
  // after the answer has gone, never inside the channel's handler: opening the window runs its own
  // event loop until it closes.
  void ShowRequested(const TKvStartRequest &request);

private:
  void Answer(std::unique_ptr<IKvChannelConnection> connection);
  TKvLock Refuse(const QString &what);

  QString FRuntimeFolder;
  QString FLockFileName;
  QString FServerName;
  QLockFile FLock;
  TKvDisplay FDisplay;
  std::unique_ptr<IKvChannelServer> FServer;
  // Ends before the server whose handle it watches.
  std::unique_ptr<TKvHandleWatch> FServerWatch;
  QString FRefusal;
};

// The whole of a later start, with its own core application and no window: hands the request on
// and returns the exit status: 0 when the running program took it; 1 when it runs on another
// display or does not answer, which is said in one line on the standard error.
int HandOnToRunningInstance(TKvSingleInstance &instance, const IKvEnvironment &env, int &argc,
                            char **argv);

// Lets the window the later start asked for take the focus: on Wayland with its activation token,
// on X11 with its startup identifier on the window, whose launch is then completed. Call it just
// before opening the window.
void AcceptActivation(const TKvStartRequest &request);

// Completes the launch of this program's own start on X11 (its startup identifier, read from the
// environment before Qt took it): Qt completes it when a first window maps, and a tray program
// maps none, which would leave the launcher's busy pointer or bouncing icon until it gives up.
void CompleteOwnStart(const TKvStartRequest &start);
