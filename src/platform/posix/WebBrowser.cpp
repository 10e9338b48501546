// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WebBrowser.h"

#include "common/Unicode.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

bool OpenWebAddress(const std::u16string &address) {
  // xdg-open hands the address to the desktop's browser; it may wait for the browser to end, so a
  // shell starts it in the background and ends at once, leaving nothing for the program to reap.
  const std::string url = Utf16ToUtf8(address);
  const char *arguments[] = {"sh", "-c",        "xdg-open \"$1\" >/dev/null 2>&1 </dev/null &",
                             "sh", url.c_str(), nullptr};
  pid_t shell = 0;
  if (posix_spawnp(&shell, "sh", nullptr, nullptr, const_cast<char *const *>(arguments), environ) !=
      0)
    return false;
  int status = 0;
  while (waitpid(shell, &status, 0) < 0)
    if (errno != EINTR)
      return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
