// SPDX-License-Identifier: GPL-3.0-or-later
// Both programs keep other processes of the same user out of their memory: run as an unprivileged
// user, the entries of their /proc folder belong to root and a ptrace attach from that user fails,
// even from their own parent. A program without the protection, run the same way, shows the
// opposite, so the probe itself is checked too.

#include "support/ChildProcess.h"
#include "support/TempFolder.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace {

// The name and the state of a process, from /proc/<pid>/stat (readable by everyone).
bool NameAndState(pid_t pid, std::string &name, char &state) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line))
    return false;
  const auto open = line.find('('), close = line.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close + 2 >= line.size())
    return false;
  name = line.substr(open + 1, close - open - 1);
  state = line[close + 2];
  return true;
}

// The owner of the process's entries in /proc (the folder itself may keep its first owner).
uid_t ProcOwner(pid_t pid) {
  struct stat info {};
  if (stat(("/proc/" + std::to_string(pid) + "/status").c_str(), &info) != 0)
    return uid_t(-1);
  return info.st_uid;
}

// Runs in the unprivileged child: starts the program with its standard input on a pipe that stays
// open (the command line waits there), waits until it runs under its own name and either belongs
// to root or has been asleep for a while, then tries to attach to it:
// "[ended ]name=<name> owner=<uid> attach=<ok or error>".
std::string Probe(const std::vector<std::string> &command, const std::vector<std::string> &env) {
  int input[2];
  if (pipe(input) != 0)
    return "no pipe";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(input[0], 0);
    close(input[0]);
    close(input[1]);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char *> argv, envp;
    for (const auto &part : command)
      argv.push_back(const_cast<char *>(part.c_str()));
    argv.push_back(nullptr);
    for (const auto &entry : env)
      envp.push_back(const_cast<char *>(entry.c_str()));
    envp.push_back(nullptr);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(input[0]);
  const std::string expected =
      std::filesystem::path(command.front()).filename().string().substr(0, 15);
  std::string name;
  char state = '?';
  int asleep = 0;
  for (int tries = 0; tries < 200 && asleep < 6; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!NameAndState(pid, name, state) || state == 'Z')
      break;
    if (name == expected && ProcOwner(pid) == 0)
      break;
    asleep = name == expected && state == 'S' ? asleep + 1 : 0;
  }
  std::ostringstream report;
  if (!NameAndState(pid, name, state) || state == 'Z')
    report << "ended ";
  report << "name=" << name << " owner=" << ProcOwner(pid) << " attach=";
  if (ptrace(PTRACE_ATTACH, pid, nullptr, nullptr) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    ptrace(PTRACE_DETACH, pid, nullptr, nullptr);
    report << "ok";
  } else {
    report << (errno == EPERM ? "EPERM" : std::strerror(errno));
  }
  kill(pid, SIGKILL);
  close(input[1]);
  waitpid(pid, nullptr, 0);
  return report.str();
}

class ProcessProtection : public TempFolderTest {
protected:
  // The unprivileged user's own home and XDG folders, and no session bus.
  std::vector<std::string> Environment() {
    for (const char *sub : {"home", "data", "config", "run"})
      std::filesystem::create_directories(folder / sub);
    std::filesystem::permissions(folder / "run", std::filesystem::perms::owner_all);
    GiveToUnprivilegedUser(folder);
    return {"PATH=/usr/bin:/bin",
            "LANG=C.UTF-8",
            "QT_QPA_PLATFORM=offscreen",
            "HOME=" + (folder / "home").string(),
            "XDG_DATA_HOME=" + (folder / "data").string(),
            "XDG_CONFIG_HOME=" + (folder / "config").string(),
            "XDG_RUNTIME_DIR=" + (folder / "run").string()};
  }
  // A copy of the program in the test's folder: the build tree may lie where the unprivileged
  // user cannot enter (a clone under a private folder), and both programs link shared libraries
  // from the system's folders only, so the copy runs as the original does. The copy goes to that
  // user with the folder and stays readable to it: an unreadable program is kept from tracing for
  // that reason alone.
  std::string Reachable(const std::filesystem::path &program) {
    const auto copy = folder / "programs" / program.filename();
    std::filesystem::create_directories(copy.parent_path());
    std::filesystem::copy_file(program, copy);
    return copy.string();
  }
  std::string Run(const std::vector<std::string> &command) {
    const auto env = Environment();
    return InChildProcess([&] { return Probe(command, env); }, TChildUser::Unprivileged)
        .value_or("the probe did not finish");
  }
};

TEST_F(ProcessProtection, NeitherProgramCanBeReadOrTracedByItsOwnUser) {
  const uid_t nobody = geteuid() == 0 ? UnprivilegedAccount()->pw_uid : geteuid();
  ASSERT_NE(nobody, 0u);
  struct Row {
    std::vector<std::string> command;
    std::string expected;
  };
  const Row rows[] = {
      {{Reachable(KV_QUILLGATE_CLI), "derive", "https://example.org"},
       "name=quillgate-cli owner=0 attach=EPERM"},
      {{Reachable(KV_QUILLGATE)}, "name=quillgate owner=0 attach=EPERM"},
      // The probe sees an unprotected program for what it is.
      {{"/bin/cat"}, "name=cat owner=" + std::to_string(nobody) + " attach=ok"},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.command.front());
    EXPECT_EQ(Run(row.command), row.expected);
  }
}

} // namespace
