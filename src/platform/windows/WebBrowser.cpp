// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/WebBrowser.h"

#include "platform/windows/WideText.h"

#include <windows.h>
// after windows.h, which they build on
#include <shellapi.h>

bool OpenWebAddress(const std::u16string &address) {
  // Values above 32 mean success.
  const auto result =
      ShellExecuteW(nullptr, L"open", Wide(address), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}
