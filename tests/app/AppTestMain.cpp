// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Application.h"

#include <gtest/gtest.h>

// The shell's tests run inside the program's own application object, so its event dispatch is
// the one under test. Listing the tests needs no display, so the offscreen platform is the default.
int main(int argc, char **argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  TKvApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setApplicationName(QString::fromStdU16String(ApplicationTitle));
  return RUN_ALL_TESTS();
}
