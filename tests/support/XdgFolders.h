// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Environment.h"
#include "support/TempFolder.h"

#include <map>
#include <memory>
#include <string>

// The user's folders moved into the test's own: HOME is <folder>/home, XDG_DATA_HOME (and on
// Windows the system's local application-data folder) <folder>/data, XDG_CONFIG_HOME
// <folder>/config, so that nothing a test does reaches the real user's data. None of them exists
// until a test or the program makes it.
class XdgFolderTest : public TempFolderTest {
protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    env = std::make_unique<TKvFixedEnvironment>(
        std::map<std::string, std::string>{{"HOME", (folder / "home").string()},
                                           {"XDG_DATA_HOME", (folder / "data").string()},
                                           {"XDG_CONFIG_HOME", (folder / "config").string()}},
        "", U(folder / "data"));
  }

  std::unique_ptr<TKvFixedEnvironment> env;
};
