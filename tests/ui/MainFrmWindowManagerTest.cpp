// SPDX-License-Identifier: GPL-3.0-or-later
// The window's position under a real window manager, where the frame is drawn around the client
// area: what is stored must be the frame's corner, so the window does not creep by the title
// bar's height from one opening to the next. Runs on Xvfb with openbox (with-window-manager.sh).

#include "platform/posix/DataProtection.h"
#include "storage/Settings.h"
#include "support/MemoryKeyStore.h"
#include "support/XdgFolders.h"
#include "ui/MainFrm.h"
#include "ui/SecretClipboard.h"

#include <QApplication>
#include <QTest>
#include <memory>

namespace {

class WindowManagerTest : public XdgFolderTest {
protected:
  void SetUp() override {
    XdgFolderTest::SetUp();
    protection =
        std::make_unique<TKvSealedProtection>(keyring, keyFile, (folder / "machine-id").string());
    config = (folder / "data" / "Korvane Quillgate" / "config.ini").u16string();
  }

  // Opens the window, waits until the window manager has framed it, and returns it.
  std::unique_ptr<TfmMain> OpenFramed() {
    auto window = std::make_unique<TfmMain>(
        *env, *protection, clipboard, u"/usr/bin/quillgate",
        [this](const std::u16string &message) { errors << QString::fromStdU16String(message); });
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->geometry().topLeft() != window->pos(); }))
        << "the window manager drew no frame";
    QTest::qWait(100);
    return window;
  }
  QPoint Stored() const {
    const TKvWindowPosition position = LoadWindowPosition(config);
    return {position.Left, position.Top};
  }

  TMemoryKeyStore keyring, keyFile;
  TKvClipboardGuard clipboard{*QGuiApplication::clipboard(), std::chrono::seconds(30)};
  std::unique_ptr<TKvSealedProtection> protection;
  std::u16string config;
  QStringList errors;
};

TEST_F(WindowManagerTest, PositionDoesNotCreepOverRepeatedOpenings) {
  for (int cycle = 0; cycle < 3; ++cycle) {
    SCOPED_TRACE(cycle);
    auto window = OpenFramed();
    EXPECT_EQ(window->pos(), QPoint(100, 100));
    window->reject();
    window.reset();
    EXPECT_EQ(Stored(), QPoint(100, 100));
  }
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(WindowManagerTest, MovedWindowOpensWhereTheUserLeftIt) {
  {
    auto window = OpenFramed();
    window->move(240, 170);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->pos() == QPoint(240, 170); }));
    window->reject();
  }
  EXPECT_EQ(Stored(), QPoint(240, 170));
  for (int cycle = 0; cycle < 2; ++cycle) {
    SCOPED_TRACE(cycle);
    auto window = OpenFramed();
    EXPECT_EQ(window->pos(), QPoint(240, 170));
    window->reject();
    window.reset();
    EXPECT_EQ(Stored(), QPoint(240, 170));
  }
  EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

} // namespace
