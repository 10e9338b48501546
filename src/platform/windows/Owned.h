// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Owners for what the Windows backend gets from the system, so that each goes back on every path
// out, also when an error is raised.

#include <memory>
#include <utility>
#include <windows.h>

// A kernel handle (a file), closed when its owner ends. The system's calls report failure with
// INVALID_HANDLE_VALUE; an owner of that owns nothing.
class TKvHandle {
public:
  TKvHandle() = default;
  explicit TKvHandle(HANDLE handle) : FHandle(handle) {}
  ~TKvHandle() { Close(); }
  TKvHandle(TKvHandle &&other) noexcept
      : FHandle(std::exchange(other.FHandle, INVALID_HANDLE_VALUE)) {}
  TKvHandle &operator=(TKvHandle &&other) noexcept {
    if (this != &other) {
      Close();
      FHandle = std::exchange(other.FHandle, INVALID_HANDLE_VALUE);
    }
    return *this;
  }
  TKvHandle(const TKvHandle &) = delete;
  TKvHandle &operator=(const TKvHandle &) = delete;

  explicit operator bool() const { return FHandle != INVALID_HANDLE_VALUE && FHandle != nullptr; }
  HANDLE Get() const { return FHandle; }
  // Closes it now; false when the system reports a failure (the last error tells which).
  bool Close() {
    if (!*this)
      return true;
    return CloseHandle(std::exchange(FHandle, INVALID_HANDLE_VALUE)) != 0;
  }

private:
  HANDLE FHandle = INVALID_HANDLE_VALUE;
};

// Memory that the system allocated for the caller to free with LocalFree.
struct TKvLocalFree {
  void operator()(void *memory) const { LocalFree(memory); }
};
template <typename T> using TKvLocalMemory = std::unique_ptr<T, TKvLocalFree>;
