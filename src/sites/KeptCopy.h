// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The copy of a data file's old bytes that is kept before the file is written over with content
// that would not give them back, and what the user is told of it.

#include "common/KvTypes.h"

#include <string>

// Why the copy is kept when the file held bytes that are not text; part of the copy's name.
inline constexpr std::u16string_view InvalidTextCopy = u"invalid-text";

// Keeps bytes under the first free name of "<path>.<why>.bak", "<path>.<why>.bak.1", ...: an older
// copy is never replaced. Gives the name taken. Raises the error of CreateNewFile, or "Cannot
// create file ... Every name is taken".
std::u16string KeepCopy(const std::u16string &path, std::u16string_view why,
                        const ByteArray &bytes);

// The notice for a file whose bytes that were no text became U+FFFD when it was written back;
// lost names what the user may find missing ("a site").
std::u16string InvalidTextNotice(const std::u16string &path, const std::u16string &copy,
                                 std::u16string_view lost);
