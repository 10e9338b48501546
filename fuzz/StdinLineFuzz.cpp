// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's master password is the first line of its standard input when that is not a
// terminal. Whatever the input holds, the line read is exactly the bytes before the first LF, less
// a CR just before that LF and less one UTF-8 byte-order mark at the very start; and the reader
// stops right after that LF, leaving the rest of the input unread.

#include "FuzzSupport.h"
#include "cli/FirstLine.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace {} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string_view input(reinterpret_cast<const char *>(data), size);
  const std::size_t newline = input.find('\n');
  std::string_view expected = input.substr(0, newline);
  if (expected.starts_with("\xEF\xBB\xBF"))
    expected.remove_prefix(3);
  if (newline != std::string_view::npos && expected.ends_with('\r'))
    expected.remove_suffix(1);

  std::string buffer(input);
  std::FILE *stream = fmemopen(buffer.data(), size, "r");
  Check(stream != nullptr);
  const std::string line = ReadFirstLine(stream);
  Check(line == expected);
  // Nothing after the line end has been taken.
  const long position = std::ftell(stream);
  Check(position == long(newline == std::string_view::npos ? size : newline + 1));
  std::fclose(stream);
  return 0;
}
