// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Splitting a URL text into its parts, and the strict text-to-integer conversion that the port
// and the site indexes go through. Pure functions: no state, no files, nothing of the platform.

#include <cstdint>
#include <optional>
#include <string>

// Splits URL into scheme, user, password, host, port, path, fragment and query. Every output is
// assigned. A text without "://" gets DefaultScheme; a text with no "://", "/" or ":" is a path
// when BareTextIsPath is true and a host otherwise. The port keeps the low 16 bits of its number.
// Query keeps its leading "?", Fragment its leading "#"; Path is never empty.
// Raises EKvError (the message of TextToInteger) when the port text is not a valid integer.
void ParseURL(const std::u16string &URL, bool BareTextIsPath, std::u16string &Scheme,
              std::u16string &User, std::u16string &Password, std::u16string &Host, uint16_t &Port,
              std::u16string &Path, std::u16string &Fragment, std::u16string &Query,
              const std::u16string &DefaultScheme);

// The host of a URL as the site list splits it (bare text a path, "http" when no scheme is
// given); none when the URL does not split.
std::optional<std::u16string> SiteHost(const std::u16string &url);

// The integer of a text in the program's integer syntax (ParseInteger). Raises EKvError
// "''<text>'' is not a valid integer value" for any other text.
int32_t TextToInteger(const std::u16string &text);
