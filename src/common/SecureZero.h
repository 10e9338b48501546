// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>

// Overwrites memory with zeros in a way the optimiser may not drop, for key material that is
// about to go out of scope.
void SecureZero(void *data, std::size_t size) noexcept;

// Wipes the characters of a string that holds a secret when the scope ends, however it ends. The
// string must not grow meanwhile: a reallocation would leave the old buffer behind unwiped.
template <typename TString> class TKvWipeOnExit {
public:
  explicit TKvWipeOnExit(TString &text) : FText(text) {}
  ~TKvWipeOnExit() {
    SecureZero(FText.data(), FText.size() * sizeof(typename TString::value_type));
  }
  TKvWipeOnExit(const TKvWipeOnExit &) = delete;
  TKvWipeOnExit &operator=(const TKvWipeOnExit &) = delete;

private:
  TString &FText;
};
