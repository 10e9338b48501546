// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The X11 protocols behind StartupNotification.h and TrayHost.h, on a connection the caller hands
// in (the toolkit's own). Plain xcb, no toolkit.

#include <cstdint>
#include <string>
#include <xcb/xcb.h>

// Whether an XEmbed tray owns the selection _NET_SYSTEM_TRAY_S<screen> of one of the screens.
bool XEmbedTrayOwned(xcb_connection_t *connection);

// Sends the startup notification protocol's "remove" message for id to the first screen's root
// window, in pieces of 20 bytes.
void SendStartupRemove(xcb_connection_t *connection, const std::string &id);

// Sets _NET_STARTUP_ID of window to id.
void SetStartupId(xcb_connection_t *connection, std::uint32_t window, const std::string &id);
