// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

// Bytes of keys, digests and protected blobs; may be empty.
using ByteArray = std::vector<uint8_t>;
