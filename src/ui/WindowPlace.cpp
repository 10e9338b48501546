// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WindowPlace.h"

#include <QGuiApplication>
#include <QWidget>

TKvWindowPlace::TKvWindowPlace(QWidget &window)
    : FWindow(window), FKept(WindowPositionKept(QGuiApplication::platformName().toStdU16String())) {
}

void TKvWindowPlace::Restore(const std::u16string &configFile) {
  if (!FKept)
    return;
  const TKvWindowPosition position = LoadWindowPosition(configFile);
  FWindow.move(FWindow.x(), position.Top);
  FWindow.move(position.Left, position.Top);
}

void TKvWindowPlace::Remember() {
  if (!FWindow.isVisible())
    return;
  FShown = FWindow.pos();
  FWasShown = true;
}

std::optional<TKvWindowPosition> TKvWindowPlace::ToKeep() {
  if (!FKept)
    return std::nullopt;
  Remember();
  const QPoint position = FWasShown ? FShown : FWindow.pos();
  return TKvWindowPosition{position.y(), position.x()};
}
