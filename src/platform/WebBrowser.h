// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Opens a web address in the user's default browser without waiting for it. False when the
// system's opener could not be started.
bool OpenWebAddress(const std::u16string &address);
