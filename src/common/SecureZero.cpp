// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/SecureZero.h"

#include <cstring>

void SecureZero(void *data, std::size_t size) noexcept {
  // An empty buffer may have no storage at all, and memset must not be handed a null pointer.
  if (size == 0)
    return;
#if defined(__GNUC__) || defined(__clang__)
  std::memset(data, 0, size);
  // The barrier makes the zeros observable, so the store is never dropped as dead.
  __asm__ __volatile__("" : : "r"(data) : "memory");
#else
  auto *p = static_cast<volatile unsigned char *>(data);
  while (size--)
    *p++ = 0;
#endif
}
