// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Environment.h"

#include <cstdint>
#include <string>
#include <string_view>

// Where the program keeps its per-user files, the window position in config.ini, and the
// start-at-log-on registration. Nothing is kept in memory between two calls.

// The per-user local application-data folder: on Windows the system's, on POSIX $XDG_DATA_HOME or
// ~/.local/share.
std::u16string GetLocalAppDataFolder(const IKvEnvironment &env);
// GetLocalAppDataFolder + separator + "Korvane Quillgate", no trailing separator.
std::u16string GetDataFolder(const IKvEnvironment &env);
std::u16string GetMasterKeyFileName(const IKvEnvironment &env);
std::u16string GetConfigFileName(const IKvEnvironment &env);
std::u16string GetURLsFileName(const IKvEnvironment &env);
std::u16string GetLoginsFileName(const IKvEnvironment &env);
std::u16string GetRecordsFileName(const IKvEnvironment &env);

// Creates the data folder when it is not an existing directory (on POSIX with the missing base
// folders the XDG rules ask for, each new folder 0700), and deletes the temporary files that a
// save cut short left in it (and nothing else). A failure is not reported here: the later writes
// report it.
void EnsureDataFolder(const IKvEnvironment &env);

struct TKvWindowPosition {
  int32_t Top = 100;
  int32_t Left = 100;
};

// Whether the window's position is kept in config.ini on the display platform of that name (Qt's
// platform name: "xcb", "windows", "wayland", ...). Not on Wayland ("wayland" and its variants such
// as "wayland-egl"): there the compositor alone places windows, a window reads its position as 0,0
// and cannot set it, so the stored position is neither applied nor overwritten.
bool WindowPositionKept(std::u16string_view platformName);

// Reads "Top", then "Left", of section "Window"; each is 100 when missing or not an integer.
TKvWindowPosition LoadWindowPosition(const std::u16string &configFile);
// Writes "Top" and "Left" together (on POSIX in one replacement of the file); raises "Unable to
// write to <configFile>", with the system's reason as its detail, when it fails.
void SaveWindowPosition(const std::u16string &configFile, int32_t top, int32_t left);

// What config.ini says of the site lines. Typed ("[Sites] Lines=typed"): each new site's line holds
// its URL as the user typed it. NotRecorded: config.ini was read and has no such mark, so the lines
// were written when a line held more than scheme and host only where a reorder put a typed URL
// there, while its button gave scheme and host; the first opening rewrites them and records it.
// Unknown: config.ini is missing or cannot be read, which proves nothing (the lists may have moved
// without it): the lines are taken as typed, since a rewrite changes passwords for good.
enum class TKvSiteLines { Typed, NotRecorded, Unknown };
TKvSiteLines ReadSiteLines(const std::u16string &configFile);
// Raises "Unable to write to <configFile>", with the system's reason as its detail.
void RecordSiteLinesTyped(const std::u16string &configFile);

// Whether the master password box shows its fingerprint: yes unless "[Fingerprint] Show" is the
// integer 0.
bool FingerprintShown(const std::u16string &configFile);

// How long a password the program put on the clipboard stays there: "ClearAfter" of section
// "Clipboard", in seconds, 0 for no timed clearing. 30 when the key is missing, no integer or
// negative; a value beyond a day is read as a day.
int32_t LoadClipboardClearAfter(const std::u16string &configFile);
inline constexpr int32_t DefaultClipboardClearAfter = 30;
// The longest time in seconds any setting of config.ini asks for: a day.
inline constexpr int32_t LongestSeconds = 24 * 60 * 60;

// How long the tray program waits at its start for a tray to appear (panels start late at log-on)
// before it tells the user there is none: "WaitAtStart" of section "Tray", in seconds, 0 to tell
// at once. 30 when the key is missing, no integer or negative; a value beyond a day is read as a
// day.
int32_t LoadTrayWait(const std::u16string &configFile);
inline constexpr int32_t DefaultTrayWait = 30;

// The program path registered to start at log-on, or the empty text when there is none.
// Raises "Failed to get data for 'Korvane Quillgate'" or "Invalid data type for 'Korvane
// Quillgate'".
std::u16string GetAutoRun(const IKvEnvironment &env);
// Delete false: registers value (the running program's path) to start at log-on; raises "Failed
// to create key %s" or "Failed to set data for 'Korvane Quillgate'". Delete true: removes the
// registration, silently when there is none, raising "Failed to delete data for 'Korvane
// Quillgate'" when it stays; value is ignored.
void SetAutoRun(const std::u16string &value, bool deleteEntry, const IKvEnvironment &env);
