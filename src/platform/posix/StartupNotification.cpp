// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/StartupNotification.h"

#include "platform/posix/ToolkitX11.h"
#include "platform/posix/X11.h"

void CompleteStartup(const std::string &startupId) {
  xcb_connection_t *connection = ToolkitX11Connection();
  if (connection && !startupId.empty())
    SendStartupRemove(connection, startupId);
}

void MarkStartupWindow(std::uintptr_t window, const std::string &startupId) {
  xcb_connection_t *connection = ToolkitX11Connection();
  if (connection && !startupId.empty())
    SetStartupId(connection, static_cast<std::uint32_t>(window), startupId);
}

void OfferActivationToken(const std::string &token) {
  // Qt's Wayland platform reads the variable when it activates a window, and then clears it.
  if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")) && !token.empty())
    qputenv("XDG_ACTIVATION_TOKEN", QByteArray::fromStdString(token));
}
