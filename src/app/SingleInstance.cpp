// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SingleInstance.h"

#include "app/Application.h"
#include "platform/Display.h"
#include "platform/Environment.h"
#include "platform/HandleWatch.h"
#include "platform/LocalChannel.h"
#include "platform/StartupNotification.h"
#include "storage/Settings.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <optional>

namespace {

// A request is a few lines of "NAME=value" after "show", ended by an empty line; the answer is
// one line.
constexpr char ShowCommand[] = "show";
constexpr char ShownAnswer[] = "shown";
constexpr char ElsewhereAnswer[] = "elsewhere ";
constexpr std::size_t MaxRequestSize = 16384;
constexpr int AnswerWaitMs = 5000;

QString EnvText(const IKvEnvironment &env, const char *name) {
  return QString::fromStdString(env.Variable(name).value_or(std::string()));
}

// The data folder's full path with its links resolved, also when it does not exist yet: the
// nearest existing folder above it is resolved and the rest appended.
QString CanonicalFolder(const QString &folder) {
  QString existing = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
  QString rest;
  while (!QFileInfo::exists(existing)) {
    const qsizetype slash = existing.lastIndexOf(u'/');
    if (slash <= 0)
      return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    rest = existing.mid(slash) + rest;
    existing.truncate(slash);
  }
  return QFileInfo(existing).canonicalFilePath() + rest;
}

// "quillgate-" and 16 hexadecimal digits of the folder's hash: short enough for a socket path.
QString NameFor(const QString &dataFolder) {
  const QByteArray hash =
      QCryptographicHash::hash(CanonicalFolder(dataFolder).toUtf8(), QCryptographicHash::Sha256);
  return QStringLiteral("quillgate-") + QString::fromLatin1(hash.left(8).toHex());
}

// ":5.0" and ":5" are the same display.
QString WithoutScreen(const QString &display) {
  const qsizetype colon = display.lastIndexOf(u':');
  const qsizetype dot = display.lastIndexOf(u'.');
  return colon >= 0 && dot > colon ? display.left(dot) : display;
}

bool SameDisplay(const TKvDisplay &running, const TKvStartRequest &request) {
  if (running.Variable == QLatin1String("DISPLAY"))
    return WithoutScreen(request.X11Display) == WithoutScreen(running.Name);
  if (running.Variable == QLatin1String("WAYLAND_DISPLAY"))
    return request.WaylandDisplay == running.Name;
  return true;
}

QByteArray Encode(const TKvStartRequest &request) {
  QByteArray text = QByteArray(ShowCommand) + '\n';
  const auto add = [&text](const char *name, const QString &value) {
    // A value that would break the line is not handed on.
    if (!value.isEmpty() && !value.contains(u'\n'))
      text += QByteArray(name) + '=' + value.toUtf8() + '\n';
  };
  add("DISPLAY", request.X11Display);
  add("WAYLAND_DISPLAY", request.WaylandDisplay);
  add("XDG_ACTIVATION_TOKEN", request.ActivationToken);
  add("DESKTOP_STARTUP_ID", request.StartupId);
  return text + '\n';
}

std::optional<TKvStartRequest> Decode(const QByteArray &text) {
  const QList<QByteArray> lines = text.split('\n');
  if (lines.isEmpty() || lines.front() != ShowCommand)
    return std::nullopt;
  TKvStartRequest request;
  for (const QByteArray &line : lines) {
    const qsizetype equals = line.indexOf('=');
    if (equals <= 0)
      continue;
    const QByteArray name = line.left(equals);
    const QString value = QString::fromUtf8(line.mid(equals + 1));
    if (name == "DISPLAY")
      request.X11Display = value;
    else if (name == "WAYLAND_DISPLAY")
      request.WaylandDisplay = value;
    else if (name == "XDG_ACTIVATION_TOKEN")
      request.ActivationToken = value;
    else if (name == "DESKTOP_STARTUP_ID")
      request.StartupId = value;
  }
  return request;
}

// A later start's connection from its first byte to its answer, a child of the instance.
class TKvCaller : public QObject {
public:
  TKvCaller(std::unique_ptr<IKvChannelConnection> connection, QObject *parent)
      : QObject(parent), FConnection(std::move(connection)) {}
  IKvChannelConnection &Connection() { return *FConnection; }

  std::string Received;
  // Ends before the connection whose handle it watches.
  std::unique_ptr<TKvHandleWatch> Watch;

private:
  std::unique_ptr<IKvChannelConnection> FConnection;
};

} // namespace

TKvStartRequest StartRequestFrom(const IKvEnvironment &env) {
  return {EnvText(env, "DISPLAY"), EnvText(env, "WAYLAND_DISPLAY"),
          EnvText(env, "XDG_ACTIVATION_TOKEN"), EnvText(env, "DESKTOP_STARTUP_ID")};
}

TKvDisplay RunningDisplay(const IKvEnvironment &env) {
  const TKvDisplayName display = RunningDisplayName(env);
  return {QString::fromStdString(display.Variable), QString::fromStdString(display.Name)};
}

TKvSingleInstance::TKvSingleInstance(const QString &dataFolder, const QString &runtimeFolder)
    : FRuntimeFolder(runtimeFolder),
      FLockFileName(runtimeFolder + u'/' + NameFor(dataFolder) + QStringLiteral(".lock")),
      FServerName(QString::fromStdU16String(
          ChannelAddress(runtimeFolder.toStdU16String(), NameFor(dataFolder).toStdU16String()))),
      FLock(FLockFileName) {
  // The lock lasts as long as the program: only a dead owner makes it stale, never its age.
  FLock.setStaleLockTime(0);
}

TKvSingleInstance::TKvSingleInstance(const IKvEnvironment &env)
    : TKvSingleInstance(QString::fromStdU16String(GetDataFolder(env)),
                        QString::fromStdU16String(UserRuntimeFolder(env))) {}

TKvSingleInstance::~TKvSingleInstance() = default;

TKvSingleInstance::TKvLock TKvSingleInstance::Refuse(const QString &what) {
  FRefusal =
      QString::fromStdU16String(ApplicationTitle) + QStringLiteral(" cannot start: ") + what + u'.';
  return TKvLock::Refused;
}

TKvSingleInstance::TKvLock TKvSingleInstance::TryLock() {
  // The lock stays where every start looks for it: one put in another folder would let the next
  // start run beside this one.
  const std::u16string problem = RuntimeFolderProblem(FRuntimeFolder.toStdU16String());
  if (!problem.empty())
    return Refuse(QStringLiteral("the runtime folder ") + QDir::toNativeSeparators(FRuntimeFolder) +
                  u' ' + QString::fromStdU16String(problem));
  if (FLock.tryLock(0))
    return TKvLock::Taken;
  if (FLock.error() != QLockFile::LockFailedError)
    return Refuse(QStringLiteral("the lock file ") + QDir::toNativeSeparators(FLockFileName) +
                  (FLock.error() == QLockFile::PermissionError
                       ? QStringLiteral(" cannot be made (access denied)")
                       : QStringLiteral(" cannot be made")));
  // A lock that names this very process was left by an earlier one that had the same process id
  // (Wine deals out the same ids after each start of its server, and so does a fresh container).
  // Only a lock that no one holds open can be removed.
  qint64 owner = 0;
  QString host;
  QString program;
  if (FLock.getLockInfo(&owner, &host, &program) && owner == QCoreApplication::applicationPid() &&
      FLock.removeStaleLockFile() && FLock.tryLock(0))
    return TKvLock::Taken;
  return TKvLock::Held;
}

bool TKvSingleInstance::Listen(TKvDisplay display) {
  // Without the lock another program may be listening: its socket is not ours to replace.
  if (!FLock.isLocked())
    return false;
  FDisplay = std::move(display);
  FServerWatch.reset();
  // We hold the lock: a socket left there is one of a program that died.
  FServer = ListenChannel(FServerName.toStdU16String());
  if (!FServer)
    return false;
  FServerWatch = std::make_unique<TKvHandleWatch>(FServer->Handle(), [this] {
    while (std::unique_ptr<IKvChannelConnection> connection = FServer->Accept())
      Answer(std::move(connection));
  });
  return true;
}

void TKvSingleInstance::Answer(std::unique_ptr<IKvChannelConnection> connection) {
  auto *caller = new TKvCaller(std::move(connection), this);
  // A caller that never finishes its request is dropped.
  QTimer::singleShot(AnswerWaitMs, caller, [caller] { delete caller; });
  caller->Watch = std::make_unique<TKvHandleWatch>(caller->Connection().Handle(), [this, caller] {
    const bool open = caller->Connection().Read(caller->Received);
    const std::string &text = caller->Received;
    const std::size_t end = text.find("\n\n");
    if (text.size() > MaxRequestSize || (end == std::string::npos && !open)) {
      delete caller;
      return;
    }
    if (end == std::string::npos)
      return;
    const std::optional<TKvStartRequest> request =
        Decode(QByteArray::fromStdString(text.substr(0, end)));
    if (!request) {
      delete caller;
      return;
    }
    const bool here = SameDisplay(FDisplay, *request);
    caller->Connection().Write(here ? std::string(ShownAnswer) + '\n'
                                    : ElsewhereAnswer + FDisplay.Name.toStdString() + '\n');
    delete caller;
    if (here)
      QMetaObject::invokeMethod(
          this, [this, shown = *request] { emit ShowRequested(shown); }, Qt::QueuedConnection);
  });
}

TKvHandOnResult TKvSingleInstance::HandOn(const TKvStartRequest &request, int timeoutMs) const {
  const std::optional<std::string> answer =
      AskChannel(FServerName.toStdU16String(), Encode(request).toStdString(), timeoutMs);
  if (!answer)
    return {};
  if (*answer == ShownAnswer)
    return {TKvHandOn::Shown, {}};
  if (answer->starts_with(ElsewhereAnswer))
    return {TKvHandOn::Elsewhere,
            QString::fromStdString(answer->substr(sizeof ElsewhereAnswer - 1))};
  return {};
}

int HandOnToRunningInstance(TKvSingleInstance &instance, const IKvEnvironment &env, int &argc,
                            char **argv) {
  const QCoreApplication application(argc, argv);
  const TKvHandOnResult result = instance.HandOn(StartRequestFrom(env), 3000);
  const QByteArray title = QString::fromStdU16String(ApplicationTitle).toUtf8();
  switch (result.Outcome) {
  case TKvHandOn::Shown:
    return 0;
  case TKvHandOn::Elsewhere:
    // Nothing opens for this start: a launcher or script must not take it for a success.
    std::fprintf(stderr, "%s is already running on display %s.\n", title.constData(),
                 result.Display.toUtf8().constData());
    return 1;
  case TKvHandOn::NoAnswer:
    break;
  }
  std::fprintf(stderr, "%s is already running but does not answer.\n", title.constData());
  return 1;
}

namespace {

// The window the later start asked for is mapped with its startup identifier, so the window
// manager lets it take the focus as the launched program's own window. Qt reads the identifier
// once, at its connection to the display: the identifier goes on the next window shown, at its
// show event, which comes before the window is mapped.
class TStartupIdFilter : public QObject {
public:
  explicit TStartupIdFilter(std::string id) : FId(std::move(id)) {}

  bool eventFilter(QObject *watched, QEvent *event) override {
    auto *widget = qobject_cast<QWidget *>(watched);
    if (event->type() == QEvent::Show && widget && widget->isWindow() &&
        widget->testAttribute(Qt::WA_WState_Created)) {
      MarkStartupWindow(static_cast<std::uintptr_t>(widget->winId()), FId);
      QCoreApplication::instance()->removeEventFilter(this);
    }
    return false;
  }

private:
  std::string FId;
};

} // namespace

void AcceptActivation(const TKvStartRequest &request) {
  OfferActivationToken(request.ActivationToken.toStdString());
  if (request.StartupId.isEmpty())
    return;
  const std::string id = request.StartupId.toStdString();
  // The window opens (or comes to the front) before the queued calls run; then the filter has
  // done its work or has none to do, and the start is complete.
  auto *filter = new TStartupIdFilter(id);
  QCoreApplication::instance()->installEventFilter(filter);
  QTimer::singleShot(0, filter, [filter, id] {
    CompleteStartup(id);
    filter->deleteLater();
  });
}

void CompleteOwnStart(const TKvStartRequest &start) {
  CompleteStartup(start.StartupId.toStdString());
}
