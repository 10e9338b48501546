// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The tray program's command line, answered before the instance lock is tried or any display is
// opened, so that asking for help or mistyping an option never starts (or shows) the program. Its
// own options are --help (-h) and --version; Qt's own options pass on to Qt untouched, among them
// -session and -name, which a session manager's restart command carries.

#include <optional>

// When the command line asks for help or the version, prints it on the standard output and
// returns 0; when it holds anything else the program does not take, prints one line naming it on
// the standard error and returns 2. None when the program is to start.
std::optional<int> AnswerCommandLine(int argc, const char *const *argv);
