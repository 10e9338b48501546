// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <string>

// The first line of a non-interactive input, without its LF or CR LF and without the UTF-8
// byte-order mark that some editors put before it; every other byte is kept exactly. Reads up to
// and including the first LF, or to the end of the input.
std::string ReadFirstLine(std::FILE *input);
