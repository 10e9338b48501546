// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProcessProtection.h"

void ProtectProcessMemory() {
  // Windows keeps no per-process switch against a debugger or a memory reader of the same user;
  // crash dumps go through Windows Error Reporting, which the user's settings govern.
}
