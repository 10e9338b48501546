// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// An ordered list of text lines that is read from and written to a text file. The site list and
// the login list build on it.

#include "common/KvTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The encodings a list file can be in. Ansi is the system's ANSI code page.
enum class TKvEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

class TKvStringList {
public:
  TKvStringList() = default;
  virtual ~TKvStringList() = default;
  TKvStringList(const TKvStringList &) = default;
  TKvStringList &operator=(const TKvStringList &) = default;

  int32_t Count() const { return int32_t(FLines.size()); }
  // The line at position; raises "List index out of bounds (<position>)" outside 0..Count-1.
  const std::u16string &Get(int32_t position) const;
  // Appends text as the last line and returns its position. A line never contains CR, LF or
  // U+0000 (the file format has no escaping): such text is refused with EKvError and the list
  // stays unchanged.
  int32_t Add(std::u16string_view text);
  // Puts text in place of the line at position, refused as Add refuses it; raises "List index out
  // of bounds (<position>)" outside 0..Count-1. The list stays unchanged on a refusal.
  void Set(int32_t position, std::u16string_view text);
  // Removes the line at position; raises "List index out of bounds (<position>)" outside
  // 0..Count-1, the list unchanged.
  void Delete(int32_t position);
  void Clear() { FLines.clear(); }
  // The position of the first line equal to text when letter case is ignored; -1 if none.
  int32_t IndexOf(std::u16string_view text) const;

  // Replaces all lines with those of the file and remembers its encoding. Raises
  // "Cannot open file \"<path>\". <reason>" when it cannot be read, the list unchanged.
  void LoadFromFile(const std::u16string &path);
  // Replaces the file with all lines, in the encoding the list was read in (the ANSI code page
  // when it was never read; UTF-8 with its mark when that code page cannot hold every character).
  // The old file stays whole when this fails.
  void SaveToFile(const std::u16string &path) const;

  // The same, from and to the bytes of a file.
  void LoadFromBytes(const ByteArray &bytes);
  ByteArray SaveToBytes() const;

  // The encoding found when the list was last read; unset until then.
  std::optional<TKvEncoding> Encoding() const { return FEncoding; }
  // Whether the lines last read hold everything the file held: false when bytes that were no text
  // in its encoding became U+FFFD, or a U+0000 was dropped. Writing such a list back loses them.
  bool ReadWithoutLoss() const { return FReadWithoutLoss; }

protected:
  std::vector<std::u16string> FLines;
  std::optional<TKvEncoding> FEncoding;
  bool FReadWithoutLoss = true;
};
