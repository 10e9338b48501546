// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The Windows backend passes the program's UTF-16 text to the wide (W) calls as it stands:
// char16_t and wchar_t are both 16-bit UTF-16 code units there.

#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the Windows backend needs a 16-bit wchar_t");

inline const wchar_t *Wide(const std::u16string &text) {
  return reinterpret_cast<const wchar_t *>(text.c_str());
}

inline std::u16string FromWide(const wchar_t *text, std::size_t length) {
  return {reinterpret_cast<const char16_t *>(text), length};
}

inline std::u16string FromWide(const wchar_t *text) {
  return FromWide(text, std::wstring_view(text).size());
}
