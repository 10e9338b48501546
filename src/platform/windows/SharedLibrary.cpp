// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SharedLibrary.h"

#include "common/Unicode.h"
#include "platform/FileSystem.h"
#include "platform/windows/WideText.h"

#include <windows.h>

TKvSharedLibrary::TKvSharedLibrary(const char *name) {
  const std::u16string wide = Utf8ToUtf16(name);
  // Only the application's folder and the system's: never the current folder, where anyone may
  // have put a DLL of that name.
  FHandle = LoadLibraryExW(Wide(wide), nullptr,
                           LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (FHandle == nullptr)
    FFailure = wide + u": " + SystemErrorText(int(GetLastError()));
}

void *TKvSharedLibrary::Symbol(const char *name) {
  if (FHandle == nullptr)
    return nullptr;
  void *symbol = reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(FHandle), name));
  if (symbol == nullptr && FFailure.empty())
    FFailure = Utf8ToUtf16(name) + u": " + SystemErrorText(int(GetLastError()));
  return symbol;
}
