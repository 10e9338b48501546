// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TextServices.h"

#include "common/Unicode.h"

#include <array>
#include <clocale>
#include <cwctype>
#include <locale.h>
#include <string>

namespace {

// Windows-1252 bytes 80..9F; the undefined ones map to the C1 control of the same value.
constexpr std::array<char16_t, 32> Windows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Case mappings come from the C.UTF-8 locale, which covers all of Unicode, so the result does not
// depend on the user's own locale settings. Without it only ASCII letters fold.
locale_t CaseLocale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
  return locale;
}

// The characters whose folded form is longer than one character (the full case folding of Latin
// letters): they must match their spelled-out forms, as "ß" matches "ss".
struct TMultiFold {
  char32_t From;
  char32_t To[3];
};
constexpr TMultiFold MultiFolds[] = {
    {0x00DF, {'s', 's', 0}},    {0x1E9E, {'s', 's', 0}},   {0x0149, {0x02BC, 'n', 0}},
    {0x01F0, {'j', 0x030C, 0}}, {0xFB00, {'f', 'f', 0}},   {0xFB01, {'f', 'i', 0}},
    {0xFB02, {'f', 'l', 0}},    {0xFB03, {'f', 'f', 'i'}}, {0xFB04, {'f', 'f', 'l'}},
    {0xFB05, {'s', 't', 0}},    {0xFB06, {'s', 't', 0}}};

char32_t FoldSimple(char32_t c) {
  if (c < 0x80)
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
  const locale_t locale = CaseLocale();
  if (locale == locale_t(nullptr))
    return c;
  // Upper then lower joins the variants of one letter (final sigma, the Kelvin sign).
  const auto upper = towupper_l(wint_t(c), locale);
  return char32_t(towlower_l(upper, locale));
}

void AppendFolded(std::u32string &out, std::u16string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = text[i++];
    if (c >= 0xD800 && c <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(text[i++]) - 0xDC00);
    const char32_t folded = FoldSimple(c);
    bool expanded = false;
    for (const auto &m : MultiFolds) {
      if (m.From == c || m.From == folded) {
        for (char32_t t : m.To)
          if (t != 0)
            out.push_back(t);
        expanded = true;
        break;
      }
    }
    if (!expanded)
      out.push_back(folded);
  }
}

} // namespace

bool AnsiCodePageIsUtf8() {
  return true;
}

std::u16string AnsiToText(std::string_view bytes) {
  bool valid = false;
  std::u16string text = Utf8ToUtf16(bytes, &valid);
  if (valid)
    return text;
  text.clear();
  text.reserve(bytes.size());
  for (const char b : bytes) {
    const auto byte = static_cast<unsigned char>(b);
    text.push_back(byte >= 0x80 && byte < 0xA0 ? Windows1252High[byte - 0x80] : char16_t(byte));
  }
  return text;
}

std::optional<ByteArray> TextToAnsi(std::u16string_view text) {
  const std::string bytes = Utf16ToUtf8(text);
  return ByteArray(bytes.begin(), bytes.end());
}

bool SameTextIgnoringCase(std::u16string_view a, std::u16string_view b) {
  // While both texts are ASCII, each character folds to one ASCII character, so they can be
  // compared in step; a difference there is final. Only non-ASCII characters need the full folding
  // (some fold to ASCII, as the Kelvin sign, or to two characters, as "ß").
  std::size_t i = 0;
  for (; i < a.size() && i < b.size() && a[i] < 0x80 && b[i] < 0x80; ++i)
    if (FoldSimple(a[i]) != FoldSimple(b[i]))
      return false;
  if (i == a.size() || i == b.size())
    return a.size() == b.size();
  a.remove_prefix(i);
  b.remove_prefix(i);
  std::u32string foldedA, foldedB;
  AppendFolded(foldedA, a);
  AppendFolded(foldedB, b);
  return foldedA == foldedB;
}
