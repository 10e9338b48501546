// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

// text without the blanks at its start and end; blanks lists the characters that count as blank.
inline std::string_view TrimBlanks(std::string_view text, std::string_view blanks) {
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}
