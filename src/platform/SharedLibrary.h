// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A shared library opened while the program runs instead of linked to it: what the tray icon never
// needs (the keyring, the sealing, the strength estimate) costs the idle program nothing until the
// window first asks for it. The user includes the library's own header and takes each entry point
// typed by it:
//   TKvSharedLibrary library("libsodium.so.23");
//   const auto init = library.Find<decltype(&sodium_init)>("sodium_init");
//   if (!library.Usable()) ... library.Failure() says why
// A library once opened stays for the rest of the process (GLib's types, for one, cannot be
// unloaded), so its entry points never dangle. Safe to use from any thread.

#include <string>

class TKvSharedLibrary {
public:
  // Opens the library by its file name (a soname on POSIX, a DLL's name on Windows) through the
  // system's usual search. One that cannot be opened leaves the object unusable.
  explicit TKvSharedLibrary(const char *name);
  TKvSharedLibrary(const TKvSharedLibrary &) = delete;
  TKvSharedLibrary &operator=(const TKvSharedLibrary &) = delete;

  // The library's entry point of that name, cast to Function, which must be its type (take it
  // with decltype from the library's header). nullptr when the library lacks it, which makes the
  // library unusable, or when it was not opened.
  template <typename Function> Function Find(const char *name) {
    return reinterpret_cast<Function>(Symbol(name));
  }

  // Whether the library was opened and had every entry point asked for so far.
  bool Usable() const { return FFailure.empty(); }
  // Why it is not: the system's text, naming the library or the missing entry point.
  const std::u16string &Failure() const { return FFailure; }

private:
  void *Symbol(const char *name);

  void *FHandle = nullptr;
  std::u16string FFailure;
};

// Declares a member named after the library's function, typed from its header and found in
// library when the member is initialised: KV_LIBRARY_FUNCTION(FLibrary, sodium_init);
// NOLINTBEGIN(bugprone-macro-parentheses): function is a name being declared, not an expression.
#define KV_LIBRARY_FUNCTION(library, function)                                                     \
  decltype(&::function) function = (library).Find<decltype(&::function)>(#function)
// NOLINTEND(bugprone-macro-parentheses)
