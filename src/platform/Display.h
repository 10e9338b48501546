// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The display the running application shows its windows on, named as a later start finds it in
// its environment. Part of kv_platform_desktop: it asks the running application which platform it
// runs on.

#include <string>

class IKvEnvironment;

struct TKvDisplayName {
  std::string Variable; // the variable that names it: "DISPLAY", "WAYLAND_DISPLAY"
  std::string Name;     // its value (":5"); on Wayland the default wayland-0 when it is unset
};

// Empty where the platform has no such name (offscreen, Windows).
TKvDisplayName RunningDisplayName(const IKvEnvironment &env);
