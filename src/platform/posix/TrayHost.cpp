// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TrayHost.h"

#include "platform/posix/ToolkitX11.h"
#include "platform/posix/X11.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>

namespace {

// What Qt asks before it puts its icon on the bus: a watcher with a host registered. Asked on
// Qt's own connection to the session bus, which its icon uses too.
bool StatusNotifierHostRegistered() {
  const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(watcher))
    return false;
  QDBusMessage get = QDBusMessage::createMethodCall(
      watcher, QStringLiteral("/StatusNotifierWatcher"),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
  // A watcher that hangs must not hang the program: it counts as none.
  const QDBusMessage reply = bus.call(get, QDBus::Block, 2000);
  return reply.type() == QDBusMessage::ReplyMessage &&
         reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
}

} // namespace

TKvTray AvailableTray() {
  if (StatusNotifierHostRegistered())
    return TKvTray::StatusNotifier;
  xcb_connection_t *connection = ToolkitX11Connection();
  if (connection && XEmbedTrayOwned(connection))
    return TKvTray::Docked;
  return TKvTray::None;
}
