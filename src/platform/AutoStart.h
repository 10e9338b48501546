// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Environment.h"

#include <string>

// The per-user start-at-log-on registration of one program under one name: on Windows a value of
// that name under the current user's Run key, on POSIX an XDG autostart entry. The environment
// places the POSIX entry; the Windows registry needs none. Failures raise EKvError with the
// messages of the Run-key value, the name standing for the value:
// "Failed to get data for '<name>'", "Invalid data type for '<name>'", "Failed to create key
// <place>", "Failed to set data for '<name>'", "Failed to delete data for '<name>'".

// The registered program path, or the empty text when the program is not registered. Windows
// stores a path that contains a space inside double quotes, so that the system cannot take a
// shorter path for the program; the quotes do not come back here.
std::u16string ReadAutoStart(const IKvEnvironment &env, const std::u16string &name);
// Registers programPath to start at log-on, replacing an earlier registration.
void WriteAutoStart(const IKvEnvironment &env, const std::u16string &name,
                    const std::u16string &programPath);
// Removes the registration; nothing happens when there is none. A registration that stays raises
// "Failed to delete data for '<name>'".
void RemoveAutoStart(const IKvEnvironment &env, const std::u16string &name);
