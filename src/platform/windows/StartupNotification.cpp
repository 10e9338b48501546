// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/StartupNotification.h"

// Windows has neither protocol: no launch feedback to end, no token to hand on.

void CompleteStartup(const std::string &) {}

void MarkStartupWindow(std::uintptr_t, const std::string &) {}

void OfferActivationToken(const std::string &) {}
