// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The POSIX start-at-log-on registration is an XDG autostart entry; these name its place.

#include "platform/Environment.h"

#include <string>

// Where the registration lives on this system (for tests and diagnostics).
std::string AutoStartFolder(const IKvEnvironment &env);
std::string AutoStartFile(const IKvEnvironment &env);
