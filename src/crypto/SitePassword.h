// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The site password: HMAC-SHA-512 keyed with the master password over URL + login, its first 16
// bytes mapped to a fixed alphabet. Every password a user ever derived depends on this staying
// byte-exact.

#include "common/KvTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The 63 characters of a site password; a byte b becomes PasswordAlphabet[b mod 63].
inline constexpr std::u16string_view PasswordAlphabet =
    u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz1234567890=";

inline constexpr int32_t SitePasswordLength = 16;

// The refusal of a URL without "://".
inline constexpr std::u16string_view InvalidURLRefusal = u"Please enter a valid URL!";

// Why "Generate" refuses a master password and URL, checked in this order: "Please enter a master
// password!", "Please enter an URL!", InvalidURLRefusal; none when it takes them. The window and
// the command line refuse the same input.
std::optional<std::u16string> RefusedGenerateInput(std::u16string_view masterPassword,
                                                   std::u16string_view url);

// The texts are used exactly as given: nothing is trimmed, folded or normalised. URL and login
// are joined as UTF-16 before the conversion to UTF-8, with no separator.
std::u16string DeriveSitePassword(std::u16string_view masterPassword, std::u16string_view url,
                                  std::u16string_view login);

// The site password of a version and a rule text. Version 1 with no rules, or with rules that the
// plain password (the one above) meets, is the plain password, so that no password changes until
// the user asks for it. Any other gives a password drawn without bias from an HMAC-SHA-512 stream
// seeded with the master password, URL, login, version and rule text; no rules then means the
// plain password's alphabet. Raises the error of ParsePasswordRules, and one naming the rule when
// 100 draws in a row break its max-consecutive. version: at least 1.
std::u16string DeriveSitePassword(std::u16string_view masterPassword, std::u16string_view url,
                                  std::u16string_view login, int32_t version,
                                  std::u16string_view rules);

// Character i is PasswordAlphabet[bytes[i] mod 63]; count <= 0 gives the empty text. A count
// beyond the array stops at its end.
std::u16string EncodePassword(const ByteArray &bytes, int32_t count);
