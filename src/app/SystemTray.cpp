// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SystemTray.h"

#ifdef KV_STATUS_NOTIFIER
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#else
#include <QSystemTrayIcon>
#endif
#ifdef KV_XEMBED_TRAY
#include "app/X11Connection.h"

#include <cstdlib>
#include <memory>
#include <string>
#endif

#ifdef KV_STATUS_NOTIFIER
namespace {

// What Qt asks before it puts its icon on the bus: a watcher with a host registered.
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

#ifdef KV_XEMBED_TRAY
struct TFree {
  void operator()(void *reply) const { std::free(reply); }
};

// An XEmbed tray owns the selection _NET_SYSTEM_TRAY_S<screen> of an X screen.
bool DockingTrayOwned() {
  xcb_connection_t *connection = X11Connection();
  if (!connection)
    return false;
  const int screens = xcb_setup_roots_length(xcb_get_setup(connection));
  for (int screen = 0; screen < screens; ++screen) {
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
    // Only if it exists: no tray has ever been there without the name.
    const std::unique_ptr<xcb_intern_atom_reply_t, TFree> atom(xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.c_str()), nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE)
      continue;
    const std::unique_ptr<xcb_get_selection_owner_reply_t, TFree> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom),
                                      nullptr));
    if (owner && owner->owner != XCB_NONE)
      return true;
  }
  return false;
}
#else
bool DockingTrayOwned() {
  return false;
}
#endif

} // namespace

TKvTray AvailableTray() {
  if (StatusNotifierHostRegistered())
    return TKvTray::StatusNotifier;
  if (DockingTrayOwned())
    return TKvTray::Docked;
  return TKvTray::None;
}
#else
TKvTray AvailableTray() {
  // Windows' notification area belongs to the shell; Qt adds the icon again whenever the taskbar
  // is created anew.
  return QSystemTrayIcon::isSystemTrayAvailable() ? TKvTray::Docked : TKvTray::None;
}
#endif
