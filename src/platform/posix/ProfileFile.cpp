// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProfileFile.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "platform/FileSystem.h"
#include "platform/posix/Text.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string_view Trim(std::string_view text) {
  return TrimBlanks(text, " \t");
}

// Names are ASCII in this program's files, so an ASCII comparison without regard to case is all
// the matching needs; other characters must match exactly.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i]))
      return false;
  }
  return true;
}

// One line of the file with its own line end, so that untouched lines are written back as read.
struct TLine {
  std::string Text;
  std::string End;
};

std::vector<TLine> SplitLines(const std::string &content) {
  std::vector<TLine> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    const auto newline = content.find('\n', start);
    if (newline == std::string::npos) {
      lines.push_back({content.substr(start), ""});
      break;
    }
    std::size_t textEnd = newline;
    if (textEnd > start && content[textEnd - 1] == '\r')
      --textEnd;
    lines.push_back(
        {content.substr(start, textEnd - start), content.substr(textEnd, newline + 1 - textEnd)});
    start = newline + 1;
  }
  return lines;
}

// The section name of a "[Name]" line.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[')
    return std::nullopt;
  const auto close = line.find(']');
  if (close == std::string_view::npos)
    return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

// The key and the raw value of a "Key=Value" line; comment lines hold none.
std::optional<std::pair<std::string_view, std::string_view>> KeyValue(std::string_view line) {
  const std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';')
    return std::nullopt;
  const auto equals = line.find('=');
  if (equals == std::string_view::npos)
    return std::nullopt;
  return std::pair{Trim(line.substr(0, equals)), line.substr(equals + 1)};
}

enum class TReadResult { Read, Missing, Failed };

// Failure gets the reason of a read that failed.
TReadResult ReadProfileFile(const std::u16string &fileName, std::string &content,
                            std::u16string &failure) {
  try {
    const ByteArray bytes = ReadWholeFile(fileName);
    content.assign(bytes.begin(), bytes.end());
    return TReadResult::Read;
  } catch (const EKvError &error) {
    failure = error.Text();
    struct stat info {};
    const bool missing = stat(Utf16ToUtf8(fileName).c_str(), &info) != 0 && errno == ENOENT;
    return missing ? TReadResult::Missing : TReadResult::Failed;
  }
}

struct TPlace {
  std::optional<std::size_t> SectionLine; // the "[Name]" line
  std::size_t SectionEnd = 0;             // one past its last non-blank line
  std::optional<std::size_t> KeyLine;
};

TPlace Find(const std::vector<TLine> &lines, std::string_view section, std::string_view key) {
  TPlace place;
  bool inside = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (auto name = SectionName(lines[i].Text)) {
      if (place.SectionLine)
        break; // the first section of that name is the one that counts
      inside = SameName(*name, section);
      if (inside) {
        place.SectionLine = i;
        place.SectionEnd = i + 1;
      }
      continue;
    }
    if (!inside)
      continue;
    if (!Trim(lines[i].Text).empty())
      place.SectionEnd = i + 1;
    if (auto pair = KeyValue(lines[i].Text); pair && !place.KeyLine && SameName(pair->first, key))
      place.KeyLine = i;
  }
  return place;
}

} // namespace

std::u16string ReadProfileText(const std::u16string &fileName, const std::u16string &section,
                               const std::u16string &key, const std::u16string &defaultValue) {
  std::string content;
  std::u16string failure;
  if (ReadProfileFile(fileName, content, failure) != TReadResult::Read)
    return defaultValue;
  const auto lines = SplitLines(content);
  const TPlace place = Find(lines, Utf16ToUtf8(section), Utf16ToUtf8(key));
  if (!place.KeyLine)
    return defaultValue;
  std::string_view value = Trim(KeyValue(lines[*place.KeyLine].Text)->second);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return Utf8ToUtf16(value);
}

TKvProfileWrite WriteProfileText(const std::u16string &fileName, const std::u16string &section,
                                 const std::u16string &key, const std::u16string &value) {
  return WriteProfileTexts(fileName, section, {{key, value}});
}

TKvProfileWrite WriteProfileTexts(const std::u16string &fileName, const std::u16string &section,
                                  const TKvProfileValues &values) {
  std::string content;
  std::u16string failure;
  if (ReadProfileFile(fileName, content, failure) == TReadResult::Failed)
    return {false, failure}; // never write over a file whose content we could not read
  auto lines = SplitLines(content);
  const std::string sectionText = Utf16ToUtf8(section);
  // New lines follow the file's own line ends; a new file gets the system's "\n".
  const std::string end = !lines.empty() && !lines.front().End.empty() ? lines.front().End : "\n";

  for (const auto &[key, value] : values) {
    const std::string keyText = Utf16ToUtf8(key);
    const TPlace place = Find(lines, sectionText, keyText);
    if (place.KeyLine) {
      // The key keeps the spelling the file gave it, as Windows keeps it.
      std::string &line = lines[*place.KeyLine].Text;
      line = std::string(KeyValue(line)->first) + "=" + Utf16ToUtf8(value);
      continue;
    }
    std::size_t at = place.SectionLine ? place.SectionEnd : lines.size();
    // The line before the insertion point may be the last line of a file without a final end.
    // When that line ends in a CR, a lone LF after it would take the CR as part of its end and
    // change the line: it gets CR LF, which leaves it as it reads now.
    if (at > 0 && lines[at - 1].End.empty())
      lines[at - 1].End = lines[at - 1].Text.ends_with('\r') ? "\r\n" : end;
    if (!place.SectionLine)
      lines.insert(lines.begin() + std::ptrdiff_t(at++), TLine{"[" + sectionText + "]", end});
    lines.insert(lines.begin() + std::ptrdiff_t(at),
                 TLine{keyText + "=" + Utf16ToUtf8(value), end});
  }

  std::string joined;
  for (const auto &line : lines)
    joined += line.Text + line.End;
  try {
    ReplaceFileAtomically(fileName, ByteArray(joined.begin(), joined.end()));
  } catch (const EKvError &error) {
    return {false, error.Text()};
  }
  return {};
}

void FlushProfileFile(const std::u16string &) {
  // Every write above went straight to disk.
}
