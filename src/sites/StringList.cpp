// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/StringList.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "platform/FileSystem.h"
#include "platform/TextServices.h"

#include <string>

namespace {

[[noreturn]] void OutOfBounds(int32_t position) {
  throw EKvError(u"List index out of bounds (" + Utf8ToUtf16(std::to_string(position)) + u")");
}

void RefuseLineBreaks(std::u16string_view text) {
  if (text.find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string_view::npos)
    throw EKvError(u"A line cannot contain a line break or a null character");
}

bool StartsWith(const ByteArray &bytes, std::initializer_list<uint8_t> mark) {
  return bytes.size() >= mark.size() && std::equal(mark.begin(), mark.end(), bytes.begin());
}

// An odd last byte of a UTF-16 file cannot be a whole character; it reads as U+FFFD.
std::u16string DecodeUtf16(const ByteArray &bytes, std::size_t from, bool bigEndian) {
  std::u16string text;
  text.reserve((bytes.size() - from + 1) / 2);
  std::size_t i = from;
  for (; i + 1 < bytes.size(); i += 2)
    text.push_back(bigEndian ? char16_t(bytes[i] << 8 | bytes[i + 1])
                             : char16_t(bytes[i + 1] << 8 | bytes[i]));
  if (i < bytes.size())
    text.push_back(u'\uFFFD');
  return text;
}

// CR LF, a lone LF and a lone CR each end a line; a line end at the very end adds no empty line.
// A U+0000 that a damaged or hand-edited file holds is dropped on its own: the text after it, and
// every line after it, is still read.
std::vector<std::u16string> SplitLines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  const char16_t *from = text.data();
  const char16_t *const end = from + text.size();
  while (from != end) {
    const char16_t *stop = from;
    bool hasNul = false;
    while (stop != end && *stop != u'\r' && *stop != u'\n') {
      hasNul = hasNul || *stop == u'\0';
      ++stop;
    }
    std::u16string line(from, stop);
    if (hasNul)
      std::erase(line, u'\0');
    if (stop == end) {
      // A last line without its end; one of NULs alone is no line.
      if (!line.empty())
        lines.push_back(std::move(line));
      break;
    }
    lines.push_back(std::move(line));
    from = stop + (*stop == u'\r' && stop + 1 != end && stop[1] == u'\n' ? 2 : 1);
  }
  return lines;
}

void AppendUtf16(ByteArray &bytes, std::u16string_view text, bool bigEndian) {
  for (const char16_t c : text) {
    const auto high = uint8_t(c >> 8), low = uint8_t(c & 0xFF);
    bytes.push_back(bigEndian ? high : low);
    bytes.push_back(bigEndian ? low : high);
  }
}

} // namespace

const std::u16string &TKvStringList::Get(int32_t position) const {
  if (position < 0 || position >= Count())
    OutOfBounds(position);
  return FLines[std::size_t(position)];
}

int32_t TKvStringList::Add(std::u16string_view text) {
  RefuseLineBreaks(text);
  FLines.emplace_back(text);
  return Count() - 1;
}

void TKvStringList::Set(int32_t position, std::u16string_view text) {
  if (position < 0 || position >= Count())
    OutOfBounds(position);
  RefuseLineBreaks(text);
  FLines[std::size_t(position)] = text;
}

void TKvStringList::Delete(int32_t position) {
  if (position < 0 || position >= Count())
    OutOfBounds(position);
  FLines.erase(FLines.begin() + position);
}

int32_t TKvStringList::IndexOf(std::u16string_view text) const {
  for (std::size_t i = 0; i < FLines.size(); ++i)
    if (SameTextIgnoringCase(FLines[i], text))
      return int32_t(i);
  return -1;
}

void TKvStringList::LoadFromFile(const std::u16string &path) {
  LoadFromBytes(ReadWholeFile(path));
}

void TKvStringList::SaveToFile(const std::u16string &path) const {
  ReplaceFileAtomically(path, SaveToBytes());
}

void TKvStringList::LoadFromBytes(const ByteArray &bytes) {
  TKvEncoding encoding;
  std::u16string text;
  bool whole = true;
  if (StartsWith(bytes, {0xEF, 0xBB, 0xBF})) {
    // Invalid bytes behind the mark become U+FFFD each; every line is kept.
    encoding = TKvEncoding::Utf8;
    text = Utf8ToUtf16(
        std::string_view(reinterpret_cast<const char *>(bytes.data()) + 3, bytes.size() - 3),
        &whole);
  } else if (StartsWith(bytes, {0xFF, 0xFE}) || StartsWith(bytes, {0xFE, 0xFF})) {
    const bool bigEndian = bytes[0] == 0xFE;
    encoding = bigEndian ? TKvEncoding::Utf16BE : TKvEncoding::Utf16LE;
    text = DecodeUtf16(bytes, 2, bigEndian);
    whole = bytes.size() % 2 == 0;
  } else {
    encoding = TKvEncoding::Ansi;
    const std::string_view raw(reinterpret_cast<const char *>(bytes.data()), bytes.size());
    text = AnsiToText(raw);
    // A code page puts U+FFFD where bytes are no character of it; a text that holds one came back
    // whole only when it converts back to the same bytes.
    if (text.find(u'\uFFFD') != std::u16string::npos) {
      const std::optional<ByteArray> again = TextToAnsi(text);
      whole = again && *again == bytes;
    }
  }
  FReadWithoutLoss = whole && text.find(u'\0') == std::u16string::npos;
  FLines = SplitLines(text);
  FEncoding = encoding;
}

ByteArray TKvStringList::SaveToBytes() const {
  std::size_t length = 0;
  for (const auto &line : FLines)
    length += line.size() + 2;
  std::u16string text;
  text.reserve(length);
  for (const auto &line : FLines) {
    text += line;
    text += u"\r\n";
  }

  ByteArray bytes;
  switch (FEncoding.value_or(TKvEncoding::Ansi)) {
  case TKvEncoding::Ansi:
    if (const std::optional<ByteArray> encoded = TextToAnsi(text)) {
      if (AnsiCodePageIsUtf8())
        bytes = {0xEF, 0xBB, 0xBF};
      bytes.insert(bytes.end(), encoded->begin(), encoded->end());
      break;
    }
    // A character the code page cannot hold is never replaced: such a list is written as UTF-8
    // with its mark, which every reader of these files recognises.
    [[fallthrough]];
  case TKvEncoding::Utf8: {
    bytes = {0xEF, 0xBB, 0xBF};
    const std::string encoded = Utf16ToUtf8(text);
    bytes.insert(bytes.end(), encoded.begin(), encoded.end());
    break;
  }
  case TKvEncoding::Utf16LE:
    bytes = {0xFF, 0xFE};
    bytes.reserve(2 + 2 * text.size());
    AppendUtf16(bytes, text, false);
    break;
  case TKvEncoding::Utf16BE:
    bytes = {0xFE, 0xFF};
    bytes.reserve(2 + 2 * text.size());
    AppendUtf16(bytes, text, true);
    break;
  }
  return bytes;
}
