// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The system's text services that the list files and the login look-up rely on: the legacy
// "ANSI" code page of the user's system, and a comparison that ignores letter case.

#include "common/KvTypes.h"

#include <optional>
#include <string>
#include <string_view>

// Whether the system's ANSI code page is UTF-8 itself; a list in that code page is then written
// with the UTF-8 byte-order mark. Always true on POSIX, where UTF-8 stands for the code page.
bool AnsiCodePageIsUtf8();

// Text of bytes in the ANSI code page. On POSIX, bytes that are well-formed UTF-8 are read as
// UTF-8, and any others as Windows-1252 (the whole text, not byte by byte): every byte becomes one
// character, the five bytes that Windows-1252 leaves undefined (81, 8D, 8F, 90, 9D) becoming the
// C1 control characters of the same value, so that no byte is lost.
std::u16string AnsiToText(std::string_view bytes);

// Bytes of text in the ANSI code page, without a byte-order mark; nothing when the code page
// cannot hold every character of text exactly (no look-alike, no "?" ever stands in for one). A
// UTF-8 code page (POSIX, and Windows with code page 65001) holds every character; an unpaired
// surrogate becomes U+FFFD there, as in any UTF-8 text.
std::optional<ByteArray> TextToAnsi(std::u16string_view text);

// Whether two texts are equal when letter case is ignored. Equal texts always match, and so do
// texts that differ only in the case of their letters, beyond ASCII too ("STRASSE" and "straße").
bool SameTextIgnoringCase(std::u16string_view a, std::u16string_view b);
