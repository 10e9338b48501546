// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Environment.h"

#include "common/Unicode.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

#ifndef _WIN32
TEST(RuntimeFolder, IsTheOneTheSessionNamesWithOrWithoutTheVariable) {
  // Where a login session's folder is: a start without the variable must find the lock of one
  // started with it.
  const std::u16string session = Utf8ToUtf16("/run/user/" + std::to_string(geteuid()));
  struct TCase {
    const char *Name;
    std::map<std::string, std::string> Variables;
    std::u16string Expected;
  };
  const TCase cases[] = {
      {"named", {{"XDG_RUNTIME_DIR", "/run/user/4321"}}, u"/run/user/4321"},
      {"named with a trailing slash", {{"XDG_RUNTIME_DIR", "/run/user/4321/"}}, u"/run/user/4321"},
      {"not set", {}, session},
      {"empty", {{"XDG_RUNTIME_DIR", ""}}, session},
      // A relative path would name another folder from each working folder.
      {"relative", {{"XDG_RUNTIME_DIR", "run/user/4321"}}, session},
  };
  for (const TCase &row : cases) {
    SCOPED_TRACE(row.Name);
    EXPECT_EQ(UserRuntimeFolder(TKvFixedEnvironment(row.Variables)), row.Expected);
  }
}
#else
TEST(RuntimeFolder, IsTheUsersTemporaryFolderAndServes) {
  const std::u16string folder = UserRuntimeFolder(TKvFixedEnvironment({}));
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), u'\\');
  EXPECT_EQ(RuntimeFolderProblem(folder), u"");
}
#endif

} // namespace
