// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#ifdef KV_X11_STARTUP
#include "app/X11Connection.h"

#include <QWidget>
#endif

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

TKvSingleInstance::TKvSingleInstance(const QString &dataFolder, const QString &runtimeFolder)
    : FRuntimeFolder(runtimeFolder),
      FLockFileName(runtimeFolder + u'/' + NameFor(dataFolder) + QStringLiteral(".lock")),
#ifdef Q_OS_WIN
      // A pipe name, in the pipes' own name space.
      FServerName(NameFor(dataFolder)),
#else
      FServerName(runtimeFolder + u'/' + NameFor(dataFolder)),
#endif
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

#ifdef KV_X11_STARTUP
namespace {

xcb_atom_t Atom(xcb_connection_t *connection, const char *name) {
  const xcb_intern_atom_cookie_t cookie =
      xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
  xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
  const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  std::free(reply);
  return atom;
}

// The window the later start asked for is mapped with its startup identifier, so the window
// manager lets it take the focus as the launched program's own window. Qt reads the identifier
// once, at its connection to the display: the identifier goes on the next window shown, at its
// show event, which comes before the window is mapped.
class TStartupIdFilter : public QObject {
public:
  TStartupIdFilter(xcb_connection_t *connection, QByteArray id)
      : FConnection(connection), FId(std::move(id)) {}

  bool eventFilter(QObject *watched, QEvent *event) override {
    auto *widget = qobject_cast<QWidget *>(watched);
    if (event->type() == QEvent::Show && widget && widget->isWindow() &&
        widget->testAttribute(Qt::WA_WState_Created)) {
      xcb_change_property(FConnection, XCB_PROP_MODE_REPLACE,
                          static_cast<xcb_window_t>(widget->winId()),
                          Atom(FConnection, "_NET_STARTUP_ID"), Atom(FConnection, "UTF8_STRING"), 8,
                          static_cast<uint32_t>(FId.size()), FId.constData());
      xcb_flush(FConnection);
      QCoreApplication::instance()->removeEventFilter(this);
    }
    return false;
  }

private:
  xcb_connection_t *FConnection;
  QByteArray FId;
};

// Ends the launcher's feedback for the later start: the "remove" message of the startup
// notification protocol, in pieces of 20 bytes sent to the root window.
void SendStartupRemove(xcb_connection_t *connection, const QByteArray &id) {
  QByteArray quoted = id;
  quoted.replace('\\', "\\\\").replace('"', "\\\"");
  const QByteArray message = "remove: ID=\"" + quoted + "\"" + '\0';
  xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  if (!screen)
    return;
  const xcb_window_t sender = xcb_generate_id(connection);
  const uint32_t overrideRedirect = 1;
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, sender, screen->root, -100, -100, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT,
                    &overrideRedirect);
  const xcb_atom_t begin = Atom(connection, "_NET_STARTUP_INFO_BEGIN");
  const xcb_atom_t more = Atom(connection, "_NET_STARTUP_INFO");
  for (qsizetype offset = 0; offset < message.size(); offset += 20) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 8;
    event.window = sender;
    event.type = offset == 0 ? begin : more;
    std::memcpy(event.data.data8, message.constData() + offset,
                static_cast<std::size_t>(std::min<qsizetype>(20, message.size() - offset)));
    xcb_send_event(connection, 0, screen->root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                   reinterpret_cast<const char *>(&event));
  }
  xcb_destroy_window(connection, sender);
  xcb_flush(connection);
}

} // namespace
#endif

void AcceptActivation(const TKvStartRequest &request) {
  // The Wayland platform activates the next window with the token it finds here.
  if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) &&
      !request.ActivationToken.isEmpty())
    qputenv("XDG_ACTIVATION_TOKEN", request.ActivationToken.toUtf8());
#ifdef KV_X11_STARTUP
  xcb_connection_t *connection = X11Connection();
  if (!connection || request.StartupId.isEmpty())
    return;
  const QByteArray id = request.StartupId.toUtf8();
  // The window opens (or comes to the front) before the queued calls run; then the filter has
  // done its work or has none to do, and the start is complete.
  auto *filter = new TStartupIdFilter(connection, id);
  QCoreApplication::instance()->installEventFilter(filter);
  QTimer::singleShot(0, filter, [filter, connection, id] {
    SendStartupRemove(connection, id);
    filter->deleteLater();
  });
#endif
}

void CompleteOwnStart([[maybe_unused]] const TKvStartRequest &start) {
#ifdef KV_X11_STARTUP
  xcb_connection_t *connection = X11Connection();
  if (connection && !start.StartupId.isEmpty())
    SendStartupRemove(connection, start.StartupId.toUtf8());
#endif
}
