#pragma once

#include <optional>
#include <string>

// Whether standard input is an interactive terminal.
bool StdinIsTerminal();

// Shows prompt on standard error and reads one line from the terminal on standard input without
// echoing it; the terminal's settings are restored afterwards, also when the program is
// interrupted. The line comes back without its line end; nothing at the end of input.
std::optional<std::string> ReadSecretLine(const char *prompt);
