// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TrayHost.h"

TKvTray AvailableTray() {
  return TKvTray::Docked;
}
