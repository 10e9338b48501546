// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

// What becomes of a UTF-16 code unit of a surrogate that has no partner. Text from the user's boxes
// may hold one; the derivation and the files take U+FFFD for it, while the saved master password
// keeps it, in the three-byte form of its code (the generalised UTF-8 that such text needs to come
// back exactly).
enum class TKvLoneSurrogates { Replace, Keep };

// UTF-8 bytes of UTF-16 text: a surrogate pair becomes one 4-byte sequence, each unpaired
// surrogate becomes U+FFFD (EF BF BD) or is kept. No byte-order mark, no terminating zero. The
// result is allocated once, at its final size, so it leaves no copies of a secret behind.
std::string Utf16ToUtf8(std::u16string_view text,
                        TKvLoneSurrogates loneSurrogates = TKvLoneSurrogates::Replace);

// UTF-16 text of UTF-8 bytes. Decoding never fails: each maximal invalid subsequence (overlong
// forms, encoded surrogates unless kept, code points above U+10FFFF, truncated sequences, stray
// bytes) becomes one U+FFFD, as the Unicode standard recommends. *valid, when given, tells whether
// the bytes were well-formed.
std::u16string Utf8ToUtf16(std::string_view bytes, bool *valid = nullptr,
                           TKvLoneSurrogates loneSurrogates = TKvLoneSurrogates::Replace);
