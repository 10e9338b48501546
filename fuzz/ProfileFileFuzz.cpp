// SPDX-License-Identifier: GPL-3.0-or-later
// config.ini is the user's to edit, and other versions of the program write it too. Reading any
// bytes as that file must not fail; writing a key must change that key's line alone (or add the
// key, and its section when missing, keeping every other line byte for byte) and read back as
// written, leaving every other key's value as it was; and the window position, written as
// integers, must read back as those integers.
//
// The first three bytes choose the section, key and value written, the next eight the window's
// top and left; the rest is the file. The file lives in a temporary folder, on tmpfs where the
// system has it.

#include "FuzzSupport.h"
#include "common/Unicode.h"
#include "platform/ProfileFile.h"
#include "storage/Settings.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

const std::u16string Sections[] = {u"Window", u"Sites", u"Clipboard", u"WINDOW"};
const std::u16string Keys[] = {u"Top", u"Left", u"Lines", u"ClearAfter", u"top"};
const std::u16string Values[] = {u"1", u"-42", u"$7FFFFFFF", u"typed", u"30", u"a b", u"x=y;z"};

const std::string &FilePath() {
  static const TScratchFolder folder("profile");
  static const std::string path = folder.Path() + "/config.ini";
  return path;
}

std::string ReadBytes(const std::string &path) {
  std::FILE *file = std::fopen(path.c_str(), "rb");
  Check(file != nullptr);
  std::string bytes;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
    bytes.append(buffer, n);
  std::fclose(file);
  return bytes;
}

void WriteBytes(const std::string &path, std::string_view bytes) {
  std::FILE *file = std::fopen(path.c_str(), "wb");
  Check(file != nullptr);
  Check(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
  Check(std::fclose(file) == 0);
}

// A line with its own end ("\n", "\r\n" or none for the last).
struct TLine {
  std::string Text, End;
  bool operator==(const TLine &) const = default;
};

std::vector<TLine> Lines(std::string_view bytes) {
  std::vector<TLine> lines;
  while (!bytes.empty()) {
    const std::size_t newline = bytes.find('\n');
    std::string_view line = bytes.substr(0, newline);
    std::string end = newline == std::string_view::npos ? "" : "\n";
    if (!end.empty() && line.ends_with('\r')) {
      line.remove_suffix(1);
      end = "\r\n";
    }
    lines.push_back({std::string(line), end});
    bytes = newline == std::string_view::npos ? std::string_view() : bytes.substr(newline + 1);
  }
  return lines;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; };
    if (lower(a[i]) != lower(b[i]))
      return false;
  }
  return true;
}

// Between the file before and after writing key=value into section, only the key's line changed,
// or lines were added: the key's, after its section's header when that was missing too, and a
// line end after a last line that had none.
void CheckOnlyTheKeyChanged(std::string_view before, std::string_view after,
                            const std::string &section, const std::string &key,
                            const std::string &value) {
  const std::vector<TLine> old = Lines(before), now = Lines(after);
  std::size_t prefix = 0, suffix = 0;
  while (prefix < old.size() && prefix < now.size() && old[prefix] == now[prefix])
    ++prefix;
  while (suffix + prefix < old.size() && suffix + prefix < now.size() &&
         old[old.size() - 1 - suffix] == now[now.size() - 1 - suffix])
    ++suffix;
  const std::vector<TLine> oldMiddle(old.begin() + std::ptrdiff_t(prefix),
                                     old.end() - std::ptrdiff_t(suffix));
  std::vector<TLine> newMiddle(now.begin() + std::ptrdiff_t(prefix),
                               now.end() - std::ptrdiff_t(suffix));
  Check(oldMiddle.size() <= 1);
  if (oldMiddle.empty() && newMiddle.empty())
    return; // the key held that value already
  if (oldMiddle.size() == 1 && newMiddle.size() == 1 && !oldMiddle[0].End.empty()) {
    // The key's line, its key kept as the file spelled it.
    Check(oldMiddle[0].Text.find('=') != std::string::npos);
    Check(newMiddle[0].End == oldMiddle[0].End);
    Check(newMiddle[0].Text.ends_with("=" + value));
    return;
  }
  if (oldMiddle.size() == 1) {
    // A last line without an end: it gains one, and the new lines follow; or it was the key's.
    Check(oldMiddle[0].End.empty() && !newMiddle.empty());
    if (newMiddle.size() == 1 && newMiddle[0].End.empty()) {
      Check(newMiddle[0].Text.ends_with("=" + value));
      return;
    }
    Check(newMiddle[0].Text == oldMiddle[0].Text && !newMiddle[0].End.empty());
    newMiddle.erase(newMiddle.begin());
  }
  Check(!newMiddle.empty() && newMiddle.size() <= 2);
  Check(newMiddle.back().Text == key + "=" + value);
  if (newMiddle.size() == 2)
    Check(newMiddle.front().Text == "[" + section + "]");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 11)
    return 0;
  const std::u16string &section = Sections[data[0] % std::size(Sections)];
  const std::u16string &key = Keys[data[1] % std::size(Keys)];
  const std::u16string &value = Values[data[2] % std::size(Values)];
  int32_t top = 0, left = 0;
  std::memcpy(&top, data + 3, 4);
  std::memcpy(&left, data + 7, 4);
  const std::string_view content(reinterpret_cast<const char *>(data + 11), size - 11);

  const std::string &path = FilePath();
  const std::u16string file = Utf8ToUtf16(path);
  WriteBytes(path, content);
  LoadWindowPosition(file);
  ReadSiteLines(file);
  const std::u16string absent = u"(absent)";
  std::u16string before[std::size(Sections)][std::size(Keys)];
  for (std::size_t s = 0; s < std::size(Sections); ++s)
    for (std::size_t k = 0; k < std::size(Keys); ++k)
      before[s][k] = ReadProfileText(file, Sections[s], Keys[k], absent);

  Check(WriteProfileText(file, section, key, value).Written);
  const std::string written = ReadBytes(path);
  CheckOnlyTheKeyChanged(content, written, Utf16ToUtf8(section), Utf16ToUtf8(key),
                         Utf16ToUtf8(value));
  for (std::size_t s = 0; s < std::size(Sections); ++s)
    for (std::size_t k = 0; k < std::size(Keys); ++k) {
      const bool same = SameName(Sections[s], section) && SameName(Keys[k], key);
      Check(ReadProfileText(file, Sections[s], Keys[k], absent) == (same ? value : before[s][k]));
    }

  // The window position's integers read back exactly, and the key written above stays.
  SaveWindowPosition(file, top, left);
  const TKvWindowPosition position = LoadWindowPosition(file);
  Check(position.Top == top && position.Left == left);
  if (!SameName(section, u"Window") || !(SameName(key, u"Top") || SameName(key, u"Left")))
    Check(ReadProfileText(file, section, key, absent) == value);
  return 0;
}
