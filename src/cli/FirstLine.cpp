// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/FirstLine.h"

std::string ReadFirstLine(std::FILE *input) {
  std::string line;
  line.reserve(256);
  std::size_t count = 0;
  int c;
  while ((c = std::fgetc(input)) != EOF && c != '\n') {
    line.push_back(char(c));
    if (++count == 3 && line == "\xEF\xBB\xBF")
      line.clear();
  }
  if (c == '\n' && !line.empty() && line.back() == '\r')
    line.pop_back();
  return line;
}
