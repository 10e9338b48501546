// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProcessProtection.h"

#ifdef __linux__
#include <sys/prctl.h>
#else
#include <sys/resource.h>
#endif

void ProtectProcessMemory() {
#ifdef __linux__
  // Not dumpable: no core file, and no ptrace attach or reading of /proc/<pid>/mem by anyone
  // without the ptrace capability. A program started later (the web browser) gets the usual
  // setting back with its exec.
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#else
  // Elsewhere no core file at least; the hard limit stays, for the programs started later.
  rlimit limit{};
  if (getrlimit(RLIMIT_CORE, &limit) == 0) {
    limit.rlim_cur = 0;
    setrlimit(RLIMIT_CORE, &limit);
  }
#endif
}
