// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The tray the desktop offers at this moment, found without Qt's own tray check: Qt 6.4 chooses
// between its StatusNotifierItem and its docked icon once per process, at its first tray check or
// tray icon, and keeps that choice even when a StatusNotifier host appears later. The program asks
// here and makes its tray icon only once there is a tray, so Qt's choice fits the tray there is.
// Part of kv_platform_desktop: it asks through the running application's own session bus and X
// server connection.

enum class TKvTray {
  None,
  // An icon docked in the panel: the XEmbed tray of X11 desktops (Xfce, MATE, LXDE and others),
  // Windows' notification area. It reports double-clicks.
  Docked,
  // An item on the session bus that a StatusNotifierItem host shows (KDE Plasma, GNOME with its
  // AppIndicator extension). Its host reports one activation and no double-click.
  StatusNotifier,
};

// A StatusNotifier host counts before a docked tray, as Qt ranks them. Windows: always its
// notification area, which belongs to the shell (Qt adds the icon again whenever the taskbar is
// created anew).
TKvTray AvailableTray();
