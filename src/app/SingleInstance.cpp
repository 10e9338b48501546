#include "app/SingleInstance.h"

#include "app/Application.h"
#include "platform/Environment.h"
#include "storage/Settings.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <optional>

namespace {

// A request is a few lines of "NAME=value" after "show", ended by an empty line; the answer is
// one line.
constexpr char ShowCommand[] = "show";
constexpr char ShownAnswer[] = "shown";
constexpr char ElsewhereAnswer[] = "elsewhere ";
constexpr qsizetype MaxRequestSize = 16384;
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

} // namespace

TKvStartRequest StartRequestFrom(const IKvEnvironment &env) {
  return {EnvText(env, "DISPLAY"), EnvText(env, "WAYLAND_DISPLAY"),
          EnvText(env, "XDG_ACTIVATION_TOKEN"), EnvText(env, "DESKTOP_STARTUP_ID")};
}

TKvDisplay RunningDisplay(const IKvEnvironment &env) {
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("xcb"))
    return {QStringLiteral("DISPLAY"), EnvText(env, "DISPLAY")};
  if (platform.startsWith(QLatin1String("wayland"))) {
    const QString name = EnvText(env, "WAYLAND_DISPLAY");
    return {QStringLiteral("WAYLAND_DISPLAY"), name.isEmpty() ? QStringLiteral("wayland-0") : name};
  }
  return {};
}

TKvSingleInstance::TKvSingleInstance(const QString &dataFolder, const QString &socketFolder)
    : FLockFileName(socketFolder + u'/' + NameFor(dataFolder) + QStringLiteral(".lock")),
#ifdef Q_OS_WIN
      // A pipe name, in the pipes' own name space.
      FServerName(NameFor(dataFolder)),
#else
      FServerName(socketFolder + u'/' + NameFor(dataFolder)),
#endif
      FLock(FLockFileName) {
  // The lock lasts as long as the program: only a dead owner makes it stale, never its age.
  FLock.setStaleLockTime(0);
}

namespace {

// Where the lock (and on POSIX the socket) lives: a folder of the user's own that no other user
// can write to and that is never synced elsewhere.
QString RuntimeFolder() {
#ifdef Q_OS_WIN
  // The runtime location is the home folder there; the user's temporary folder is the user's own.
  return QDir::tempPath();
#else
  return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
#endif
}

} // namespace

TKvSingleInstance::TKvSingleInstance(const IKvEnvironment &env)
    : TKvSingleInstance(QString::fromStdU16String(GetDataFolder(env)), RuntimeFolder()) {}

TKvSingleInstance::~TKvSingleInstance() = default;

TKvSingleInstance::TKvLock TKvSingleInstance::TryLock() {
  if (FLock.tryLock(0))
    return TKvLock::Taken;
  return FLock.error() == QLockFile::LockFailedError ? TKvLock::Held : TKvLock::Unusable;
}

bool TKvSingleInstance::Listen(TKvDisplay display) {
  // Without the lock another program may be listening: its socket is not ours to replace.
  if (!FLock.isLocked())
    return false;
  FDisplay = std::move(display);
  FServer = std::make_unique<QLocalServer>();
  FServer->setSocketOptions(QLocalServer::UserAccessOption);
  connect(FServer.get(), &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket *socket = FServer->nextPendingConnection())
      Answer(socket);
  });
  if (FServer->listen(FServerName))
    return true;
  // We hold the lock: a socket left there is one of a program that died.
  QLocalServer::removeServer(FServerName);
  return FServer->listen(FServerName);
}

void TKvSingleInstance::Answer(QLocalSocket *socket) {
  // A caller that never finishes its request is dropped.
  QTimer::singleShot(AnswerWaitMs, socket, &QLocalSocket::abort);
  connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
  connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
    if (socket->bytesAvailable() > MaxRequestSize) {
      socket->abort();
      return;
    }
    const QByteArray text = socket->peek(MaxRequestSize);
    const qsizetype end = text.indexOf("\n\n");
    if (end < 0)
      return;
    socket->read(end + 2);
    const std::optional<TKvStartRequest> request = Decode(text.left(end));
    if (!request) {
      socket->abort();
      return;
    }
    const bool here = SameDisplay(FDisplay, *request);
    socket->write(here ? QByteArray(ShownAnswer) + '\n'
                       : QByteArray(ElsewhereAnswer) + FDisplay.Name.toUtf8() + '\n');
    socket->flush();
    socket->disconnectFromServer();
    if (here)
      QMetaObject::invokeMethod(
          this, [this, shown = *request] { emit ShowRequested(shown); }, Qt::QueuedConnection);
  });
}

TKvHandOnResult TKvSingleInstance::HandOn(const TKvStartRequest &request, int timeoutMs) const {
  const QDeadlineTimer deadline(timeoutMs);
  QLocalSocket socket;
  for (;;) {
    socket.connectToServer(FServerName);
    if (socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
      break;
    // The running program may not listen yet: it is tried again a little later.
    if (deadline.hasExpired())
      return {};
    QThread::msleep(20);
  }
  socket.write(Encode(request));
  socket.flush();
  QByteArray answer;
  while (!answer.contains('\n')) {
    if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
      return {};
    answer += socket.readAll();
  }
  answer.truncate(answer.indexOf('\n'));
  if (answer == ShownAnswer)
    return {TKvHandOn::Shown, {}};
  if (answer.startsWith(ElsewhereAnswer))
    return {TKvHandOn::Elsewhere,
            QString::fromUtf8(answer.mid(static_cast<qsizetype>(sizeof ElsewhereAnswer) - 1))};
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
    std::printf("%s is already running on display %s.\n", title.constData(),
                result.Display.toUtf8().constData());
    return 0;
  case TKvHandOn::NoAnswer:
    break;
  }
  std::fprintf(stderr, "%s is already running but does not answer.\n", title.constData());
  return 1;
}

void AcceptActivation(const TKvStartRequest &request) {
  // The Wayland platform activates the next window with the token it finds here. X11 has no such
  // hand-over in Qt: its startup identifier is read once, at the connection to the display.
  if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) &&
      !request.ActivationToken.isEmpty())
    qputenv("XDG_ACTIVATION_TOKEN", request.ActivationToken.toUtf8());
}
