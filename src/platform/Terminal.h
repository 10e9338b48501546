// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

// The program's arguments as UTF-8, without the program's name. Windows reads its own UTF-16
// command line, since argv there holds ANSI text that loses characters outside the code page.
std::vector<std::string> CommandLineArguments(int argc, char **argv);

// Whether standard input is an interactive terminal.
bool StdinIsTerminal();

// Shows prompt on standard error and reads one line from the terminal on standard input without
// echoing it; the terminal's settings are restored afterwards, also when the program is
// interrupted. The line comes back without its line end; nothing at the end of input.
std::optional<std::string> ReadSecretLine(const char *prompt);
