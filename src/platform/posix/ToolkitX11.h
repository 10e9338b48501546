// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The running application's connection to the X server, or null where it runs on none. The
// offscreen platform answers as an X11 application too, but without a connection.

#include <QGuiApplication>
#include <xcb/xcb.h>

inline xcb_connection_t *ToolkitX11Connection() {
  auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}
