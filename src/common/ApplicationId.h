// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's id on the desktop: the name of its menu entry (data/org.korvane.Quillgate.desktop)
// and of its start-at-log-on entry, of its icon in the icon theme, and its application id on
// Wayland.
inline constexpr char ApplicationId[] = "org.korvane.Quillgate";
