// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Terminal.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

termios SavedSettings;
volatile std::sig_atomic_t EchoOff = 0;

// Turns echo back on before an interrupt ends the program, so the user's shell stays usable.
extern "C" void RestoreAndReraise(int signal) {
  if (EchoOff)
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &SavedSettings);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

} // namespace

bool StdinIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> ReadSecretLine(const char *prompt) {
  const bool canSilence = tcgetattr(STDIN_FILENO, &SavedSettings) == 0;
  if (canSilence) {
    const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    for (int s : signals)
      std::signal(s, RestoreAndReraise);
    termios silent = SavedSettings;
    silent.c_lflag &= ~tcflag_t(ECHO);
    silent.c_lflag |= ECHONL;
    EchoOff = tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent) == 0;
  }
  // Only now: the flush above drops what was typed before the prompt appeared.
  std::fputs(prompt, stderr);
  std::fflush(stderr);

  std::string line;
  line.reserve(256); // a typical password never reallocates, leaving no stray copies
  bool gotAny = false;
  char c;
  while (read(STDIN_FILENO, &c, 1) == 1) {
    gotAny = true;
    if (c == '\n')
      break;
    line.push_back(c);
  }
  if (!line.empty() && line.back() == '\r')
    line.pop_back();

  if (EchoOff) {
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &SavedSettings);
    EchoOff = 0;
  }
  if (!gotAny)
    return std::nullopt;
  return line;
}

std::vector<std::string> CommandLineArguments(int argc, char **argv) {
  return {argv + std::min(argc, 1), argv + argc};
}
