// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Display.h"

// Windows shows every program on the user's one desktop.
TKvDisplayName RunningDisplayName(const IKvEnvironment &) {
  return {};
}
