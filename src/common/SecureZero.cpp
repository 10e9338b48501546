#include "common/SecureZero.h"

void SecureZero(void *data, std::size_t size) noexcept {
  auto *p = static_cast<volatile unsigned char *>(data);
  while (size--)
    *p++ = 0;
}
