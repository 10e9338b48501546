// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A launch's feedback and the focus of the window it asked for, as the desktop's protocols have
// them: X11's startup notification (the launcher's DESKTOP_STARTUP_ID) and Wayland's activation
// token (XDG_ACTIVATION_TOKEN). Each goes through the running application's own connection to its
// display (kv_platform_desktop: it works through Qt). Windows has neither: there each call does
// nothing.

#include <cstdint>
#include <string>

// Ends the launcher's feedback (a busy pointer, a bouncing icon) for the start with this X11
// startup identifier: the "remove" message of the startup notification protocol, sent to the root
// window. Nothing off X11 or with an empty identifier.
void CompleteStartup(const std::string &startupId);

// Puts the X11 startup identifier on a window about to be mapped (_NET_STARTUP_ID), so the window
// manager lets it take the focus as the launched program's own window. window is the toolkit's
// native window id. Nothing off X11 or with an empty identifier.
void MarkStartupWindow(std::uintptr_t window, const std::string &startupId);

// Hands the Wayland activation token to the toolkit's Wayland platform, which activates the next
// window it shows with it. Nothing off Wayland or with an empty token.
void OfferActivationToken(const std::string &token);
