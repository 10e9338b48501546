// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Display.h"

#include "platform/Environment.h"

#include <QGuiApplication>

TKvDisplayName RunningDisplayName(const IKvEnvironment &env) {
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("xcb"))
    return {"DISPLAY", env.Variable("DISPLAY").value_or(std::string())};
  if (platform.startsWith(QLatin1String("wayland"))) {
    const std::string name = env.Variable("WAYLAND_DISPLAY").value_or(std::string());
    return {"WAYLAND_DISPLAY", name.empty() ? "wayland-0" : name};
  }
  return {};
}
