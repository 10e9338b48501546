#pragma once

#include <string>
#include <string_view>

// UTF-8 bytes of UTF-16 text: a surrogate pair becomes one 4-byte sequence, each unpaired
// surrogate becomes U+FFFD (EF BF BD). No byte-order mark, no terminating zero.
std::string Utf16ToUtf8(std::u16string_view text);

// UTF-16 text of UTF-8 bytes. Decoding never fails: each maximal invalid subsequence (overlong
// forms, encoded surrogates, code points above U+10FFFF, truncated sequences, stray bytes) becomes
// one U+FFFD, as the Unicode standard recommends. *valid, when given, tells whether the bytes were
// well-formed UTF-8.
std::u16string Utf8ToUtf16(std::string_view bytes, bool *valid = nullptr);
