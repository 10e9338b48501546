// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TextServices.h"

#include "platform/windows/WideText.h"

#include <algorithm>
#include <climits>
#include <windows.h>

namespace {

// The calls count in int; a list file is far below that, and longer text is taken in pieces.
constexpr std::size_t Piece = INT_MAX / 4;

} // namespace

bool AnsiCodePageIsUtf8() {
  return GetACP() == CP_UTF8;
}

std::u16string AnsiToText(std::string_view bytes) {
  std::u16string text;
  while (!bytes.empty()) {
    std::size_t count = std::min(bytes.size(), Piece);
    // A piece must not end inside a character; a lead byte starts the next piece instead.
    while (count < bytes.size() && count > 1 && IsDBCSLeadByte(BYTE(bytes[count - 1])))
      --count;
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(count), nullptr, 0);
    const std::size_t start = text.size();
    text.resize(start + std::size_t(length));
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(count),
                        reinterpret_cast<wchar_t *>(text.data() + start), length);
    bytes.remove_prefix(count);
  }
  return text;
}

std::optional<ByteArray> TextToAnsi(std::u16string_view text) {
  // Without WC_NO_BEST_FIT_CHARS a character outside the code page silently becomes a look-alike
  // ("ł" becomes "l": another host, another password) or the default character. The UTF-8 code
  // page holds every character and takes neither the flag nor the question.
  const bool utf8 = AnsiCodePageIsUtf8();
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL *const askUsedDefault = utf8 ? nullptr : &usedDefault;
  ByteArray bytes;
  while (!text.empty()) {
    std::size_t count = std::min(text.size(), Piece);
    // Nor inside a surrogate pair.
    if (count < text.size() && text[count - 1] >= 0xD800 && text[count - 1] <= 0xDBFF)
      --count;
    const auto *wide = reinterpret_cast<const wchar_t *>(text.data());
    const int length =
        WideCharToMultiByte(CP_ACP, flags, wide, int(count), nullptr, 0, nullptr, askUsedDefault);
    if (usedDefault)
      return std::nullopt;
    const std::size_t start = bytes.size();
    bytes.resize(start + std::size_t(length));
    WideCharToMultiByte(CP_ACP, flags, wide, int(count),
                        reinterpret_cast<char *>(bytes.data() + start), length, nullptr, nullptr);
    text.remove_prefix(count);
  }
  return bytes;
}

bool SameTextIgnoringCase(std::u16string_view a, std::u16string_view b) {
  if (a == b)
    return true;
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE,
                        reinterpret_cast<const wchar_t *>(a.data()), int(a.size()),
                        reinterpret_cast<const wchar_t *>(b.data()), int(b.size())) == CSTR_EQUAL;
}
