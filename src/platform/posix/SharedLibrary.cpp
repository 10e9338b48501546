// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SharedLibrary.h"

#include "common/Unicode.h"

#include <dlfcn.h>

namespace {

// dlerror's text for the call just made; it names the library or the symbol.
std::u16string LoaderError() {
  const char *text = dlerror();
  return Utf8ToUtf16(text != nullptr ? text : "unknown dynamic loader error");
}

} // namespace

TKvSharedLibrary::TKvSharedLibrary(const char *name)
    : FHandle(dlopen(name, RTLD_NOW | RTLD_LOCAL)) {
  if (FHandle == nullptr)
    FFailure = LoaderError();
}

void *TKvSharedLibrary::Symbol(const char *name) {
  if (FHandle == nullptr)
    return nullptr;
  dlerror(); // a symbol's value may be null: only dlerror tells a missing one
  void *symbol = dlsym(FHandle, name);
  if (symbol == nullptr && FFailure.empty())
    FFailure = LoaderError();
  return symbol;
}
