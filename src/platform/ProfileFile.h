// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <utility>
#include <vector>

// Initialization ("profile") files: a section starts with a line "[Name]"; inside it each value
// is a line "Key=Value". Section and key names match without regard to letter case.

// The value of key in section: surrounding blanks removed, and one pair of enclosing single or
// double quotation marks dropped. defaultValue when the file, the section or the key is missing or
// the file cannot be read.
std::u16string ReadProfileText(const std::u16string &fileName, const std::u16string &section,
                               const std::u16string &key, const std::u16string &defaultValue);

// A write's outcome: true when written; otherwise Reason holds the system's reason.
struct TKvProfileWrite {
  bool Written = true;
  std::u16string Reason;
  explicit operator bool() const { return Written; }
};

// Writes key=value into section: an existing key is replaced where it stands, a missing key is
// added at the end of its section, a missing section at the end of the file, and a missing file
// is created (never its folder). Every other line stays byte for byte. The file is replaced
// atomically on POSIX; Windows updates it through its profile API, which may keep the change in a
// cache until FlushProfileFile. Not written when the file cannot be read or written, with the
// system's reason.
TKvProfileWrite WriteProfileText(const std::u16string &fileName, const std::u16string &section,
                                 const std::u16string &key, const std::u16string &value);

// Keys and their values, in the order they are written.
using TKvProfileValues = std::vector<std::pair<std::u16string, std::u16string>>;

// Writes each key=value into section as WriteProfileText does, in the order given. On POSIX all
// of them reach the file in one replacement, so a crash leaves either every new value or none;
// Windows writes them one after the other through its profile API. Not written when the file
// cannot be read or written (on Windows some keys may have been written by then).
TKvProfileWrite WriteProfileTexts(const std::u16string &fileName, const std::u16string &section,
                                  const TKvProfileValues &values);

// Writes out what the system still caches of the profile file (nothing to do on POSIX).
void FlushProfileFile(const std::u16string &fileName);
