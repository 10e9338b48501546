// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Unicode.h"

#include <cstdint>

namespace {

constexpr char32_t ReplacementCharacter = 0xFFFD;

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Reads the code point at text[i] and advances i past it; an unpaired surrogate reads as U+FFFD
// or as itself.
char32_t NextCodePoint(std::u16string_view text, std::size_t &i, TKvLoneSurrogates lone) {
  const char16_t c = text[i++];
  if (IsHighSurrogate(c) && i < text.size() && IsLowSurrogate(text[i]))
    return 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i++]) - 0xDC00);
  if ((IsHighSurrogate(c) || IsLowSurrogate(c)) && lone == TKvLoneSurrogates::Replace)
    return ReplacementCharacter;
  return char32_t(c);
}

std::size_t Utf8Length(char32_t cp) {
  return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

void AppendUtf16(std::u16string &out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(char16_t(cp));
  } else {
    cp -= 0x10000;
    out.push_back(char16_t(0xD800 + (cp >> 10)));
    out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
  }
}

} // namespace

std::string Utf16ToUtf8(std::u16string_view text, TKvLoneSurrogates loneSurrogates) {
  // Size the result exactly first, so it is allocated once and holds no stray copies of secrets.
  // ASCII, the bulk of every list, takes the short way (lists of a hundred megabytes are read
  // and written whole).
  const char16_t *const units = text.data();
  std::size_t length = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (units[i] < 0x80) {
      ++length, ++i;
      continue;
    }
    length += Utf8Length(NextCodePoint(text, i, loneSurrogates));
  }

  std::string out(length, '\0');
  char *const target = out.data();
  std::size_t o = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (units[i] < 0x80) {
      target[o++] = char(units[i++]);
      continue;
    }
    const char32_t cp = NextCodePoint(text, i, loneSurrogates);
    if (cp < 0x80) {
      out[o++] = char(cp);
    } else if (cp < 0x800) {
      out[o++] = char(0xC0 | (cp >> 6));
      out[o++] = char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out[o++] = char(0xE0 | (cp >> 12));
      out[o++] = char(0x80 | ((cp >> 6) & 0x3F));
      out[o++] = char(0x80 | (cp & 0x3F));
    } else {
      out[o++] = char(0xF0 | (cp >> 18));
      out[o++] = char(0x80 | ((cp >> 12) & 0x3F));
      out[o++] = char(0x80 | ((cp >> 6) & 0x3F));
      out[o++] = char(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view bytes, bool *valid, TKvLoneSurrogates loneSurrogates) {
  std::u16string out;
  out.reserve(bytes.size());
  bool wellFormed = true;
  const auto byteAt = [&](std::size_t i) { return uint8_t(bytes[i]); };

  for (std::size_t i = 0; i < bytes.size();) {
    const uint8_t lead = byteAt(i);
    if (lead < 0x80) {
      // A run of ASCII in one step; the reserve above leaves room for it.
      const auto *const run = reinterpret_cast<const uint8_t *>(bytes.data());
      std::size_t end = i + 1;
      while (end < bytes.size() && run[end] < 0x80)
        ++end;
      const std::size_t at = out.size();
      out.resize(at + (end - i));
      char16_t *target = out.data() + at;
      for (; i < end; ++i)
        *target++ = char16_t(run[i]);
      continue;
    }
    // The length of the sequence and the range its second byte must fall in; the bounds on the
    // second byte are what exclude overlong forms, surrogates and code points above U+10FFFF.
    std::size_t need = 0;
    uint8_t low = 0x80, high = 0xBF;
    char32_t cp = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      need = 1, cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      need = 2, cp = lead & 0x0F;
      if (lead == 0xE0)
        low = 0xA0;
      if (lead == 0xED && loneSurrogates == TKvLoneSurrogates::Replace)
        high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      need = 3, cp = lead & 0x07;
      if (lead == 0xF0)
        low = 0x90;
      if (lead == 0xF4)
        high = 0x8F;
    }
    std::size_t j = i + 1;
    bool complete = need > 0;
    for (std::size_t k = 0; k < need; ++k, ++j) {
      if (j >= bytes.size() || byteAt(j) < low || byteAt(j) > high) {
        complete = false;
        break;
      }
      cp = (cp << 6) | (byteAt(j) & 0x3F);
      low = 0x80, high = 0xBF;
    }
    if (complete) {
      AppendUtf16(out, cp);
    } else {
      out.push_back(char16_t(ReplacementCharacter));
      wellFormed = false;
    }
    i = j; // after a failure, the offending byte starts the next sequence
  }
  if (valid)
    *valid = wellFormed;
  return out;
}
