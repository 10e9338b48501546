// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The ANSI code page the test runs in, which decides how a list without a byte-order mark is read
// and written: POSIX has UTF-8 (65001) in its place; Windows has the system's, which the runs
// under Wine set through the locale (1252, and 1251 for the "cp1251." run).

#include <string>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
inline unsigned RunCodePage() {
  return GetACP();
}
#else
inline unsigned RunCodePage() {
  return 65001;
}
#endif

// What a list in the ANSI code page starts with when written: the UTF-8 mark where that code page
// is UTF-8, else nothing.
inline std::string AnsiListMark() {
  return RunCodePage() == 65001 ? "\xEF\xBB\xBF" : "";
}
