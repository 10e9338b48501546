// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Runs a part of a test in a child process: to bound an operation that might block for ever, or
// to run it as an unprivileged user, where file modes bind as they bind every user (CI runs as
// root, and root passes them by).

#include <csignal>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

enum class TChildUser { Same, Unprivileged };

// The unprivileged account the child becomes when the test runs as root.
inline const passwd *UnprivilegedAccount() {
  return getpwnam("nobody");
}

// Gives path and everything under it to the unprivileged account, as a user owns their own
// files; nothing to do when the test does not run as root.
inline void GiveToUnprivilegedUser(const std::filesystem::path &path) {
  const passwd *account = UnprivilegedAccount();
  if (geteuid() != 0 || account == nullptr)
    return;
  std::error_code ignored;
  lchown(path.c_str(), account->pw_uid, account->pw_gid);
  if (std::filesystem::is_directory(path))
    for (const auto &entry : std::filesystem::recursive_directory_iterator(path, ignored))
      lchown(entry.path().c_str(), account->pw_uid, account->pw_gid);
}

// The text action returns, from a child process that is ended after the given seconds; nothing
// when the child did not finish (it blocked, crashed or could not drop its privileges).
inline std::optional<std::string> InChildProcess(const std::function<std::string()> &action,
                                                 TChildUser user = TChildUser::Same,
                                                 unsigned seconds = 20) {
  int channel[2];
  if (pipe(channel) != 0)
    return std::nullopt;
  const pid_t pid = fork();
  if (pid < 0)
    return std::nullopt;
  if (pid == 0) {
    close(channel[0]);
    alarm(seconds);
    if (user == TChildUser::Unprivileged && geteuid() == 0) {
      const passwd *account = UnprivilegedAccount();
      if (account == nullptr || setgroups(0, nullptr) != 0 || setgid(account->pw_gid) != 0 ||
          setuid(account->pw_uid) != 0 || geteuid() == 0)
        _exit(2);
    }
    std::string text;
    try {
      text = action();
    } catch (...) {
      _exit(3);
    }
    for (std::size_t done = 0; done < text.size();) {
      const ssize_t n = write(channel[1], text.data() + done, text.size() - done);
      if (n <= 0)
        _exit(4);
      done += std::size_t(n);
    }
    _exit(0);
  }
  close(channel[1]);
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(channel[0], buffer, sizeof buffer)) > 0)
    text.append(buffer, std::size_t(n));
  close(channel[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return std::nullopt;
  return text;
}
