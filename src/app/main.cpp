// SPDX-License-Identifier: GPL-3.0-or-later
// The tray program: an icon in the notification area that opens the main window.

#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/StubFrm.h"
#include "common/ApplicationId.h"
#include "platform/DataProtection.h"
#include "platform/Environment.h"
#include "platform/ProcessProtection.h"
#include "platform/TerminationRequests.h"

#include <QSessionManager>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

namespace {

// The stub while the event loop runs, for the exit that comes without it (a lost display).
TfmStub *Running = nullptr;

extern "C" void SaveOnAbruptExit() {
  if (Running)
    Running->SaveOpenWindow();
}

} // namespace

int main(int argc, char **argv) {
  ProtectProcessMemory();
  // Help, the version and mistakes are answered here: no lock is taken, no display opened.
  if (const std::optional<int> status = AnswerCommandLine(argc, argv))
    return *status;
  const IKvEnvironment &env = ProcessEnvironment();
  // One program per data folder: a later start hands its request to the running one and ends.
  TKvSingleInstance instance(env);
  switch (instance.TryLock()) {
  case TKvSingleInstance::TKvLock::Taken:
    break;
  case TKvSingleInstance::TKvLock::Held:
    return HandOnToRunningInstance(instance, env, argc, argv);
  case TKvSingleInstance::TKvLock::Refused:
    // Never without the lock: the next start would run beside this one, a second writer.
    std::fprintf(stderr, "%s\n", instance.Refusal().toUtf8().constData());
    return 1;
  }

  // Qt takes the launcher's startup identifier out of the environment as it starts.
  const TKvStartRequest ownStart = StartRequestFrom(env);
  // Without a display there is nothing to run on: the lock goes before the process does.
  const std::unique_ptr<TKvApplication> application =
      StartApplication(argc, argv, env, [&instance] { instance.Unlock(); });
  // The program lives in the tray: closing its window does not end it.
  QApplication::setQuitOnLastWindowClosed(false);
  // The title is the application's name. Not its display name: Qt would append that to every
  // window's caption.
  QApplication::setApplicationName(QString::fromStdU16String(ApplicationTitle));
  // The menu entry's id: Wayland desktops find the window's icon and name through it.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(ApplicationId));

  ApplyThemeBeforeFirstWidget(*application, DefaultThemeName);
  const auto protection = NewUserDataProtection(env);
  TfmStub fmStub(env, *protection, RunningExecutablePath());
  CompleteOwnStart(ownStart);
  application->SetErrorReport(
      [&fmStub](const std::u16string &message) { fmStub.ReportError(message); });
  fmStub.WatchTermination(WatchTerminationRequests());
  // Log-off and shutdown: the session manager's question may yet be called off, so the open
  // window saves and the program goes on; the session's end comes as a quit request (the stub
  // takes it) or, on Windows, as aboutToQuit just before the process is ended.
  QObject::connect(application.get(), &QGuiApplication::commitDataRequest, &fmStub,
                   [&fmStub](QSessionManager &) { fmStub.SaveForSessionEnd(); });
  QObject::connect(application.get(), &QCoreApplication::aboutToQuit, &fmStub,
                   [&fmStub] { fmStub.SaveOpenWindow(); });
  instance.Listen(RunningDisplay(env));
  QObject::connect(&instance, &TKvSingleInstance::ShowRequested, &fmStub,
                   [&fmStub](const TKvStartRequest &request) {
                     AcceptActivation(request);
                     fmStub.Show1Click();
                   });

  Running = &fmStub;
  std::atexit(SaveOnAbruptExit);
  const int result = QApplication::exec();
  Running = nullptr;
  return result;
}
