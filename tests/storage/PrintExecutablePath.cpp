// SPDX-License-Identifier: GPL-3.0-or-later
// Helper of the tests: waits for a line on standard input, then prints the running executable's
// path, so a test can replace or delete the binary while it runs.
#include "common/Unicode.h"
#include "platform/Environment.h"

#include <iostream>
#include <string>

int main() {
  std::string line;
  std::getline(std::cin, line);
  std::cout << Utf16ToUtf8(RunningExecutablePath()) << std::flush;
  return 0;
}
