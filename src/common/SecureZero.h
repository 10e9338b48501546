#pragma once

#include <cstddef>

// Overwrites memory with zeros in a way the optimiser may not drop, for key material that is
// about to go out of scope.
void SecureZero(void *data, std::size_t size) noexcept;
