// SPDX-License-Identifier: GPL-3.0-or-later
// Plays the panel of a desktop that shows StatusNotifierItems (KDE Plasma, GNOME with its
// AppIndicator extension), so that tests can drive a tray program through the session bus as such a
// panel does. Every command works on the session bus of DBUS_SESSION_BUS_ADDRESS; run the tests on
// a private one (dbus-run-session, or dbus-daemon --session --print-address).
//
//   kv_status_notifier_panel watch
//       Becomes the panel: owns org.kde.StatusNotifierWatcher with a host registered, and prints
//       "ready" once it does, then "registered SERVICE PATH" or "unregistered SERVICE PATH" for
//       each item that comes or goes (its program ended or left the bus). Runs until it is ended.
//   kv_status_notifier_panel items
//       Prints the items the watcher holds, "SERVICE PATH" a line.
//   kv_status_notifier_panel show SERVICE PATH
//       Prints the item's properties as "Name=value" lines: Id, Category, Status, Title,
//       ToolTipTitle, ToolTipText, IconName, Menu, ItemIsMenu, and one line
//       "IconPixmap=WIDTHxHEIGHT visible=N" per image (N pixels not fully transparent).
//   kv_status_notifier_panel menu SERVICE PATH
//       Asks the item's menu to get ready (AboutToShow) and prints its entries as "ID LABEL" lines,
//       one per visible entry, indented by two spaces per level of submenu.
//   kv_status_notifier_panel activate SERVICE PATH [X Y]
//       The primary activation (a click on the icon): Activate(X, Y), at 0 0 by default.
//   kv_status_notifier_panel click SERVICE PATH LABEL
//       Chooses the menu entry of that label: its "clicked" event, as a panel sends it.
//
// A call the item does not answer within KV_PANEL_TIMEOUT_MS milliseconds (default 5000) fails: a
// panel waits for each answer, so an item that holds one back hangs the panel. activate and click
// print "answered in N ms". Exit status: 0 on success, 1 on any failure (said on stderr), 2 for
// wrong usage.

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString ItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString MenuInterface = QStringLiteral("com.canonical.dbusmenu");
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

void Print(const QString &line) {
  std::fputs(line.toUtf8().append('\n').constData(), stdout);
  std::fflush(stdout);
}

[[noreturn]] void Fail(const QString &message) {
  std::fputs(message.toUtf8().prepend("kv_status_notifier_panel: ").append('\n').constData(),
             stderr);
  std::exit(1);
}

int CallTimeoutMs() {
  bool ok = false;
  const int timeout = qEnvironmentVariableIntValue("KV_PANEL_TIMEOUT_MS", &ok);
  return ok && timeout > 0 ? timeout : 5000;
}

// An item as the watcher lists it: "SERVICE/PATH", or a bare service with the protocol's path.
std::pair<QString, QString> SplitItem(const QString &item) {
  const qsizetype slash = item.indexOf(u'/');
  if (slash < 0)
    return {item, QStringLiteral("/StatusNotifierItem")};
  return {item.left(slash), item.mid(slash)};
}

// The watcher a panel runs: items register here, and the program's toolkit asks it whether a host
// shows them.
class TKvWatcher : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
  Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)

public:
  explicit TKvWatcher(QDBusConnection bus) : FBus(std::move(bus)), FGone(this) {
    FGone.setConnection(FBus);
    FGone.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&FGone, &QDBusServiceWatcher::serviceUnregistered, this, &TKvWatcher::ServiceGone);
  }

  QStringList RegisteredStatusNotifierItems() const { return FItems; }
  static bool IsStatusNotifierHostRegistered() { return true; }
  static int ProtocolVersion() { return 0; }

public slots:
  void RegisterStatusNotifierItem(const QString &serviceOrPath) {
    // The argument is the item's bus name (its object at the protocol's path) or its object path
    // on the caller's connection.
    const QString sender = message().service();
    const QString item = serviceOrPath.startsWith(u'/')
                             ? sender + serviceOrPath
                             : serviceOrPath + QStringLiteral("/StatusNotifierItem");
    if (FItems.contains(item))
      return;
    FItems << item;
    const auto [service, path] = SplitItem(item);
    FGone.addWatchedService(service);
    Print(QStringLiteral("registered %1 %2").arg(service, path));
    emit StatusNotifierItemRegistered(item);
  }
  void RegisterStatusNotifierHost(const QString &) {}

signals:
  void StatusNotifierItemRegistered(const QString &item);
  void StatusNotifierItemUnregistered(const QString &item);
  void StatusNotifierHostRegistered();

private:
  void ServiceGone(const QString &service) {
    for (qsizetype i = FItems.size() - 1; i >= 0; --i) {
      const QString item = FItems[i];
      if (SplitItem(item).first != service)
        continue;
      FItems.removeAt(i);
      Print(QStringLiteral("unregistered %1 %2").arg(service, SplitItem(item).second));
      emit StatusNotifierItemUnregistered(item);
    }
    FGone.removeWatchedService(service);
  }

  QDBusConnection FBus;
  QDBusServiceWatcher FGone;
  QStringList FItems;
};

int Watch() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected())
    Fail(QStringLiteral("no session bus: ") + bus.lastError().message());
  TKvWatcher watcher(bus);
  if (!bus.registerObject(WatcherPath, &watcher,
                          QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                              QDBusConnection::ExportAllProperties))
    Fail(QStringLiteral("cannot export the watcher: ") + bus.lastError().message());
  // The host's own name, as a panel holds one, before the watcher's: whoever sees the watcher
  // sees a host.
  bus.registerService(
      QStringLiteral("org.kde.StatusNotifierHost-%1").arg(QCoreApplication::applicationPid()));
  if (!bus.registerService(WatcherService))
    Fail(QStringLiteral("cannot own %1: %2").arg(WatcherService, bus.lastError().message()));
  emit watcher.StatusNotifierHostRegistered();
  Print(QStringLiteral("ready"));
  return QCoreApplication::exec();
}

QDBusConnection Bus() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected())
    Fail(QStringLiteral("no session bus: ") + bus.lastError().message());
  return bus;
}

// Calls the method and returns its answer, failing on an error or when no answer came in time.
QDBusMessage Call(const QString &service, const QString &path, const QString &interface,
                  const QString &method, const QVariantList &arguments = {},
                  qint64 *elapsedMs = nullptr) {
  QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
  call.setArguments(arguments);
  QElapsedTimer clock;
  clock.start();
  const QDBusMessage reply = Bus().call(call, QDBus::Block, CallTimeoutMs());
  if (elapsedMs)
    *elapsedMs = clock.elapsed();
  if (reply.type() != QDBusMessage::ReplyMessage)
    Fail(QStringLiteral("%1.%2 on %3%4 got no answer after %5 ms: %6")
             .arg(interface, method, service, path)
             .arg(clock.elapsed())
             .arg(reply.errorMessage()));
  return reply;
}

int Items() {
  const QDBusMessage reply =
      Call(WatcherService, WatcherPath, PropertiesInterface, QStringLiteral("Get"),
           {WatcherService, QStringLiteral("RegisteredStatusNotifierItems")});
  const QStringList items =
      reply.arguments().value(0).value<QDBusVariant>().variant().toStringList();
  for (const QString &item : items) {
    const auto [service, path] = SplitItem(item);
    Print(service + u' ' + path);
  }
  return 0;
}

// Images as the protocol sends them: a(iiay), ARGB32 in network byte order.
void PrintPixmaps(const QString &name, const QDBusArgument &pixmaps) {
  pixmaps.beginArray();
  while (!pixmaps.atEnd()) {
    int width = 0;
    int height = 0;
    QByteArray argb;
    pixmaps.beginStructure();
    pixmaps >> width >> height >> argb;
    pixmaps.endStructure();
    int visible = 0;
    for (qsizetype i = 0; i + 3 < argb.size(); i += 4)
      visible += argb[i] != 0 ? 1 : 0;
    Print(QStringLiteral("%1=%2x%3 visible=%4").arg(name).arg(width).arg(height).arg(visible));
  }
  pixmaps.endArray();
}

int Show(const QString &service, const QString &path) {
  const QDBusMessage reply =
      Call(service, path, PropertiesInterface, QStringLiteral("GetAll"), {ItemInterface});
  const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().value(0));
  for (const char *name : {"Id", "Category", "Status", "Title", "IconName", "ItemIsMenu"}) {
    const QVariant value = properties.value(QLatin1String(name));
    Print(QLatin1String(name) + u'=' + (value.isValid() ? value.toString() : QString()));
  }
  Print(QStringLiteral("Menu=") +
        properties.value(QStringLiteral("Menu")).value<QDBusObjectPath>().path());
  // ToolTip: (sa(iiay)ss) - icon name, images, title, text.
  if (properties.contains(QStringLiteral("ToolTip"))) {
    const auto toolTip = properties.value(QStringLiteral("ToolTip")).value<QDBusArgument>();
    QString iconName;
    QString title;
    QString text;
    toolTip.beginStructure();
    toolTip >> iconName;
    PrintPixmaps(QStringLiteral("ToolTipPixmap"), toolTip);
    toolTip >> title >> text;
    toolTip.endStructure();
    Print(QStringLiteral("ToolTipTitle=") + title);
    Print(QStringLiteral("ToolTipText=") + text);
  }
  if (properties.contains(QStringLiteral("IconPixmap")))
    PrintPixmaps(QStringLiteral("IconPixmap"),
                 properties.value(QStringLiteral("IconPixmap")).value<QDBusArgument>());
  return 0;
}

struct TKvMenuEntry {
  int Id = 0;
  qsizetype Depth = 0;
  QString Label;
};

// One entry of GetLayout's answer, (ia{sv}av), and its children, depth first.
void ReadLayout(const QDBusArgument &layout, qsizetype depth, QList<TKvMenuEntry> &entries) {
  int id = 0;
  QVariantMap properties;
  layout.beginStructure();
  layout >> id >> properties;
  const bool shown = properties.value(QStringLiteral("visible"), true).toBool() &&
                     properties.value(QStringLiteral("type")).toString() != u"separator";
  if (depth > 0 && shown)
    entries.append({id, depth - 1, properties.value(QStringLiteral("label")).toString()});
  layout.beginArray();
  while (!layout.atEnd()) {
    QDBusVariant child;
    layout >> child;
    ReadLayout(child.variant().value<QDBusArgument>(), depth + 1, entries);
  }
  layout.endArray();
  layout.endStructure();
}

QString MenuPath(const QString &service, const QString &path) {
  const QDBusMessage reply = Call(service, path, PropertiesInterface, QStringLiteral("Get"),
                                  {ItemInterface, QStringLiteral("Menu")});
  QString menu =
      reply.arguments().value(0).value<QDBusVariant>().variant().value<QDBusObjectPath>().path();
  if (menu.isEmpty() || menu == u"/")
    Fail(QStringLiteral("the item %1%2 has no menu").arg(service, path));
  return menu;
}

QList<TKvMenuEntry> MenuEntries(const QString &service, const QString &menu) {
  // As a panel opens the menu: it lets the program update it, then reads it whole.
  Call(service, menu, MenuInterface, QStringLiteral("AboutToShow"), {0});
  const QDBusMessage reply =
      Call(service, menu, MenuInterface, QStringLiteral("GetLayout"), {0, -1, QStringList()});
  QList<TKvMenuEntry> entries;
  ReadLayout(reply.arguments().value(1).value<QDBusArgument>(), 0, entries);
  return entries;
}

int Menu(const QString &service, const QString &path) {
  for (const TKvMenuEntry &entry : MenuEntries(service, MenuPath(service, path)))
    Print(QString(entry.Depth * 2, u' ') + QString::number(entry.Id) + u' ' + entry.Label);
  return 0;
}

int Activate(const QString &service, const QString &path, int x, int y) {
  qint64 elapsed = 0;
  Call(service, path, ItemInterface, QStringLiteral("Activate"), {x, y}, &elapsed);
  Print(QStringLiteral("answered in %1 ms").arg(elapsed));
  return 0;
}

int Click(const QString &service, const QString &path, const QString &label) {
  const QString menu = MenuPath(service, path);
  std::optional<int> id;
  for (const TKvMenuEntry &entry : MenuEntries(service, menu))
    if (entry.Label == label)
      id = entry.Id;
  if (!id)
    Fail(QStringLiteral("the menu of %1%2 has no entry \"%3\"").arg(service, path, label));
  qint64 elapsed = 0;
  Call(service, menu, MenuInterface, QStringLiteral("Event"),
       {*id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u}, &elapsed);
  Print(QStringLiteral("answered in %1 ms").arg(elapsed));
  return 0;
}

[[noreturn]] void Usage() {
  std::fputs("usage: kv_status_notifier_panel watch | items | show SERVICE PATH | menu SERVICE "
             "PATH | activate SERVICE PATH [X Y] | click SERVICE PATH LABEL\n",
             stderr);
  std::exit(2);
}

} // namespace

int main(int argc, char **argv) {
  QCoreApplication application(argc, argv);
  const QStringList args = QCoreApplication::arguments().mid(1);
  const QString command = args.value(0);
  if (command == u"watch" && args.size() == 1)
    return Watch();
  if (command == u"items" && args.size() == 1)
    return Items();
  if (command == u"show" && args.size() == 3)
    return Show(args[1], args[2]);
  if (command == u"menu" && args.size() == 3)
    return Menu(args[1], args[2]);
  if (command == u"activate" && (args.size() == 3 || args.size() == 5))
    return Activate(args[1], args[2], args.value(3).toInt(), args.value(4).toInt());
  if (command == u"click" && args.size() == 4)
    return Click(args[1], args[2], args[3]);
  Usage();
}

#include "StatusNotifierPanel.moc"
