// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Keeps the secrets in the process's memory from leaving it through the system: called first
// thing in main, before any secret is read.

// Linux: the process is not dumpable: it writes no core dump, other processes of the same user may
// not attach to it or read its memory, and its /proc entries belong to root. Other POSIX systems:
// no core dump. Windows: nothing; there a process of the same user may open another one for
// reading, and no call of the process's own stops that.
void ProtectProcessMemory();
