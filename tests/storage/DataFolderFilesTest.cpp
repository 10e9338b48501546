// SPDX-License-Identifier: GPL-3.0-or-later
// The data folder's files as every system's build must keep them.

#include "common/KvError.h"
#include "common/Unicode.h"
#include "storage/MasterPassword.h"
#include "storage/Settings.h"
#include "support/UserProtection.h"
#include "support/XdgFolders.h"

namespace {

class DataFolderFiles : public XdgFolderTest {
protected:
  void SetUp() override {
    XdgFolderTest::SetUp();
    std::filesystem::create_directory(folder / "data"); // as the system's own folder always is
    protection = std::make_unique<TTestProtection>(folder);
  }
  std::unique_ptr<TTestProtection> protection;
};

TEST_F(DataFolderFiles, LiveInOneFolderUnderTheLocalApplicationDataFolder) {
  const std::filesystem::path data = folder / "data" / "Korvane Quillgate";
  EXPECT_EQ(GetDataFolder(*env), U(data));
  EXPECT_EQ(GetMasterKeyFileName(*env), U(data / "master.key"));
  EXPECT_EQ(GetConfigFileName(*env), U(data / "config.ini"));
  EXPECT_EQ(GetURLsFileName(*env), U(data / "urls.db"));
  EXPECT_EQ(GetLoginsFileName(*env), U(data / "logins.db"));
  EXPECT_EQ(GetRecordsFileName(*env), U(data / "records.db"));
  EnsureDataFolder(*env);
  EXPECT_TRUE(std::filesystem::is_directory(data));
  EnsureDataFolder(*env); // an existing folder is left alone
  EXPECT_TRUE(std::filesystem::is_directory(data));
}

#ifdef _WIN32
TEST(DataFolder, IsTheSystemsLocalApplicationDataFolderPlusTheProgramsName) {
  const struct {
    std::u16string System;
    std::map<std::string, std::string> Variables;
    std::u16string Expected;
  } rows[] = {
      {u"C:\\Users\\me\\AppData\\Local", {}, u"C:\\Users\\me\\AppData\\Local\\Korvane Quillgate"},
      {u"D:\\", {}, u"D:\\Korvane Quillgate"},
      // The system could not say: its variable stands in, when it holds an absolute path.
      {u"", {{"LOCALAPPDATA", "E:\\Local"}}, u"E:\\Local\\Korvane Quillgate"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(Utf16ToUtf8(row.Expected));
    EXPECT_EQ(GetDataFolder(TKvFixedEnvironment(row.Variables, "", row.System)), row.Expected);
  }
  const std::u16string real = GetDataFolder(ProcessEnvironment());
  EXPECT_TRUE(real.ends_with(u"\\AppData\\Local\\Korvane Quillgate")) << Utf16ToUtf8(real);
}

TEST_F(DataFolderFiles, OnlyTheOneFolderIsCreated) {
  // Its parent is the system's own folder; a missing one is not made up.
  const TKvFixedEnvironment missing({}, "", U(folder / "missing"));
  EnsureDataFolder(missing);
  EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
}
#endif

TEST_F(DataFolderFiles, TheWindowPositionKeepsTheRestOfConfigIni) {
  EnsureDataFolder(*env);
  const std::u16string config = GetConfigFileName(*env);
  const TKvWindowPosition missing = LoadWindowPosition(config);
  EXPECT_EQ(missing.Top, 100);
  EXPECT_EQ(missing.Left, 100);

  WriteFile(std::filesystem::path(config),
            "[Recent]\r\nSite=https://example.com\r\n[WINDOW]\r\ntop=5\r\n");
  SaveWindowPosition(config, -1200, 2147483647);
  const TKvWindowPosition saved = LoadWindowPosition(config);
  EXPECT_EQ(saved.Top, -1200);
  EXPECT_EQ(saved.Left, 2147483647);
  const std::string content = ReadFile(std::filesystem::path(config));
  EXPECT_NE(content.find("[Recent]"), std::string::npos);
  EXPECT_NE(content.find("Site=https://example.com"), std::string::npos);
  EXPECT_LT(content.find("[Recent]"), content.find("top=-1200"));

  const auto unwritable = std::filesystem::path(config).parent_path() / "missing" / "config.ini";
  try {
    SaveWindowPosition(U(unwritable), 1, 2);
    FAIL() << "no error";
  } catch (const EKvError &e) {
    EXPECT_EQ(e.Message(), u"Unable to write to " + U(unwritable));
  }
}

TEST(WindowPositionKept, OnEveryDisplayPlatformButWayland) {
  const struct {
    std::u16string Platform;
    bool Kept;
  } rows[] = {
      // X11, Windows, the widget tests' platform
      {u"xcb", true},
      {u"windows", true},
      {u"offscreen", true},
      // Wayland and its variants for OpenGL
      {u"wayland", false},
      {u"wayland-egl", false},
      {u"wayland-xcomposite-glx", false},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(Utf16ToUtf8(row.Platform));
    EXPECT_EQ(WindowPositionKept(row.Platform), row.Kept);
  }
}

TEST_F(DataFolderFiles, TheSavedMasterPasswordComesBackAndADamagedOneGivesTheSystemsCode) {
  EnsureDataFolder(*env);
  const std::u16string master = GetMasterKeyFileName(*env);
  std::u16string text;
  EXPECT_FALSE(LoadMasterPassword(master, text, **protection));

  // Characters up to U+00FF are sealed one byte each, as earlier versions read them.
  SaveMasterPassword(u"Pässwörd", master, **protection);
  std::string blob = ReadFile(std::filesystem::path(master));
  uint32_t error = 0;
  EXPECT_EQ((**protection).Unprotect(ByteArray(blob.begin(), blob.end()), error),
            ByteArray({'P', 0xE4, 's', 's', 'w', 0xF6, 'r', 'd'}));
  SaveMasterPassword(u"Pässwörd \u0141\u20AC", master, **protection);
  ASSERT_TRUE(LoadMasterPassword(master, text, **protection));
  EXPECT_EQ(text, u"Pässwörd \u0141\u20AC");

  blob = ReadFile(std::filesystem::path(master));
  blob.back() ^= 0x55;
  WriteFile(std::filesystem::path(master), blob);
  try {
    LoadMasterPassword(master, text, **protection);
    FAIL() << "no error";
  } catch (const EKvError &e) {
    EXPECT_EQ(e.Message(), u"Failed to load master key [Windows error code: 13]");
  }

  DeleteMasterPassword(master);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(master)));
}

} // namespace
