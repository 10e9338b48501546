// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SharedLibrary.h"

#include "common/Unicode.h"

#include <gtest/gtest.h>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstring>
#endif

namespace {

// An entry point found is the library's own, callable through its header's type; a missing entry
// point or library makes the library unusable (a caller that checked would else call null) and
// is named in the reason the user's error then carries.
TEST(SharedLibrary, GivesTypedEntryPointsAndNamesWhatIsMissing) {
#ifdef _WIN32
  TKvSharedLibrary library("kernel32.dll");
  const auto length = library.Find<decltype(&lstrlenA)>("lstrlenA");
  const char *absent = "kv-no-such-library.dll";
#else
  TKvSharedLibrary library("libc.so.6");
  const auto length = library.Find<decltype(&std::strlen)>("strlen");
  const char *absent = "libkv-no-such-library.so.0";
#endif
  ASSERT_TRUE(library.Usable()) << Utf16ToUtf8(library.Failure());
  ASSERT_NE(length, nullptr);
  EXPECT_EQ(std::size_t(length("three")), 5u);

  EXPECT_EQ(library.Find<void (*)()>("kv_no_such_function"), nullptr);
  EXPECT_FALSE(library.Usable());
  EXPECT_NE(Utf16ToUtf8(library.Failure()).find("kv_no_such_function"), std::string::npos)
      << Utf16ToUtf8(library.Failure());

  TKvSharedLibrary missing(absent);
  EXPECT_FALSE(missing.Usable());
  EXPECT_NE(Utf16ToUtf8(missing.Failure()).find(absent), std::string::npos)
      << Utf16ToUtf8(missing.Failure());
  EXPECT_EQ(missing.Find<void (*)()>("anything"), nullptr);
}

} // namespace
