// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/Unicode.h"
#include "platform/Environment.h"
#include "platform/ProcessProtection.h"
#include "platform/WebBrowser.h"
#include "support/TempFolder.h"

#include <chrono>
#include <cstdlib>
#include <thread>
#ifdef __linux__
#include "support/ChildProcess.h"

#include <sys/prctl.h>
#endif

namespace {

TEST(RunningExecutable, IsThisTestProgramByItsFullPath) {
  const std::filesystem::path path(RunningExecutablePath());
  EXPECT_TRUE(path.is_absolute()) << path;
  EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
#ifdef _WIN32
  EXPECT_EQ(path.filename(), "kv_platform_tests.exe");
#else
  EXPECT_EQ(path.filename(), "kv_platform_tests");
#endif
}

#ifndef _WIN32
using WebBrowser = TempFolderTest;

// The desktop's opener is replaced by one that writes down what it was given and then stays until
// the test lets it go (or gives up after ten seconds, leaving a mark that it was waited for).
TEST_F(WebBrowser, HandsTheAddressToTheDesktopsOpenerWithoutWaitingForIt) {
  const auto opener = folder / "xdg-open";
  WriteFile(opener, "#!/bin/sh\n"
                    "printf '%s' \"$1\" > \"$0.got\"\n"
                    "for i in $(seq 200); do [ -e \"$0.release\" ] && exit 0; sleep 0.05; done\n"
                    "touch \"$0.waited-for\"\n");
  std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
  setenv("PATH", (folder.string() + ":" + path).c_str(), 1);
  const bool opened = OpenWebAddress(u"https://www.korvane.org/a b?q=ü&x=$(id)");
  setenv("PATH", path.c_str(), 1);
  WriteFile(folder / "xdg-open.release", "");
  ASSERT_TRUE(opened);
  EXPECT_FALSE(std::filesystem::exists(folder / "xdg-open.waited-for"));
  for (int i = 0; i < 200 && ReadFile(folder / "xdg-open.got").empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(ReadFile(folder / "xdg-open.got"), "https://www.korvane.org/a b?q=ü&x=$(id)");
}
#endif

#ifdef __linux__
// In a child, so this test program stays as it was.
TEST(ProtectProcessMemory, MakesTheProcessNotDumpable) {
  const auto dumpable = InChildProcess([] {
    const int before = prctl(PR_GET_DUMPABLE);
    ProtectProcessMemory();
    return std::to_string(before) + " " + std::to_string(prctl(PR_GET_DUMPABLE));
  });
  EXPECT_EQ(dumpable, "1 0");
}
#endif

} // namespace
