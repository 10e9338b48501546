// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where the main window stands, as config.ini keeps it: the frame's corner while the window was
// last shown (or where it was placed, when it never was). Where the display platform keeps
// windows from knowing their position (Wayland), it is neither read nor written.

#include "storage/Settings.h"

#include <QPoint>
#include <optional>
#include <string>

class QWidget;

class TKvWindowPlace {
public:
  explicit TKvWindowPlace(QWidget &window);

  // Moves the window where configFile says; raises its read error.
  void Restore(const std::u16string &configFile);
  // Notes the window's place while it is shown; the window calls it as it moves, closes or ends.
  void Remember();
  // What config.ini is to keep; none where the platform keeps no position.
  std::optional<TKvWindowPosition> ToKeep();

private:
  QWidget &FWindow;
  bool FKept;    // whether config.ini keeps the position on this display platform
  QPoint FShown; // the frame's corner while the window was last shown
  bool FWasShown = false;
};
