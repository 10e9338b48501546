// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/Settings.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "platform/FileSystem.h"
#include "platform/ProfileFile.h"
#include "support/ChildProcess.h"
#include "support/TempFolder.h"
#include "support/XdgFolders.h"

#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

unsigned ModeOf(const std::filesystem::path &path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 0777;
}

// The message of the error that action raises; "(no error)" when it raises none.
std::string ErrorText(const std::function<void()> &action) {
  try {
    action();
  } catch (const EKvError &error) {
    return Utf16ToUtf8(error.Message());
  }
  return "(no error)";
}

TEST(DataFolder, FollowsTheXdgRules) {
  struct Row {
    std::map<std::string, std::string> variables;
    std::string accountHome;
    std::u16string expected;
  };
  const Row rows[] = {
      {{{"XDG_DATA_HOME", "/x/data"}, {"HOME", "/h"}}, "", u"/x/data/Korvane Quillgate"},
      {{{"XDG_DATA_HOME", "/x/data/"}, {"HOME", "/h"}}, "", u"/x/data/Korvane Quillgate"},
      {{{"XDG_DATA_HOME", "relative/data"}, {"HOME", "/h"}},
       "",
       u"/h/.local/share/Korvane Quillgate"},
      {{{"XDG_DATA_HOME", ""}, {"HOME", "/h"}}, "", u"/h/.local/share/Korvane Quillgate"},
      {{{"HOME", "/h"}}, "/account", u"/h/.local/share/Korvane Quillgate"},
      {{{"HOME", "h"}}, "/account", u"/account/.local/share/Korvane Quillgate"},
      {{}, "/account", u"/account/.local/share/Korvane Quillgate"},
      {{}, "", u"/.local/share/Korvane Quillgate"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(Utf16ToUtf8(row.expected));
    const TKvFixedEnvironment env(row.variables, row.accountHome);
    EXPECT_EQ(GetDataFolder(env), row.expected);
    EXPECT_EQ(GetMasterKeyFileName(env), row.expected + u"/master.key");
    EXPECT_EQ(GetConfigFileName(env), row.expected + u"/config.ini");
    EXPECT_EQ(GetURLsFileName(env), row.expected + u"/urls.db");
    EXPECT_EQ(GetLoginsFileName(env), row.expected + u"/logins.db");
  }
}

using EnsureDataFolder_ = TempFolderTest;

TEST_F(EnsureDataFolder_, CreatesTheMissingBaseFolderOwnerOnlyAndLeavesAnExistingOneAlone) {
  const TKvFixedEnvironment env({{"HOME", (folder / "home").string()}});
  std::filesystem::create_directory(folder / "home");
  EnsureDataFolder(env);
  const auto data = folder / "home/.local/share/Korvane Quillgate";
  ASSERT_TRUE(std::filesystem::is_directory(data));
  EXPECT_EQ(ModeOf(folder / "home/.local"), 0700u);
  EXPECT_EQ(ModeOf(folder / "home/.local/share"), 0700u);
  EXPECT_EQ(ModeOf(data), 0700u);

  chmod(data.c_str(), 0750);
  EnsureDataFolder(env);
  EXPECT_EQ(ModeOf(data), 0750u);
}

TEST_F(EnsureDataFolder_, ReportsNothingWhenTheFolderCannotBeMade) {
  WriteFile(folder / "file", "not a folder");
  const TKvFixedEnvironment env({{"XDG_DATA_HOME", (folder / "file").string()}});
  EnsureDataFolder(env);
  EXPECT_EQ(ReadFile(folder / "file"), "not a folder");
  EXPECT_THROW(SaveWindowPosition(GetConfigFileName(env), 1, 2), EKvError);
}

using WindowPosition = TempFolderTest;

TEST_F(WindowPosition, MissingFileGivesDefaultsAndSavingMakesAThreeLineFile) {
  const auto config = folder / "config.ini";
  const TKvWindowPosition position = LoadWindowPosition(U(config));
  EXPECT_EQ(position.Top, 100);
  EXPECT_EQ(position.Left, 100);
  SaveWindowPosition(U(config), -1200, 250);
  EXPECT_EQ(ReadFile(config), "[Window]\nTop=-1200\nLeft=250\n");
  const TKvWindowPosition read = LoadWindowPosition(U(config));
  EXPECT_EQ(read.Top, -1200);
  EXPECT_EQ(read.Left, 250);
}

TEST_F(WindowPosition, EachKeyFallsBackOnItsOwn) {
  struct Row {
    std::string file;
    int32_t top, left;
  };
  const Row rows[] = {
      {"[Window]\nTop=abc\nLeft=30\n", 100, 30},
      {"[WINDOW]\ntop=0x20\nLEFT = 50 \n", 32, 50},
      {"[Window]\r\nTop=\"-5\"\r\nLeft='6'\r\n", -5, 6},
      {"[Window]\nTop=\"-5'\nLeft=\n", 100, 100},
      {"[Other]\nTop=1\nLeft=2\n", 100, 100},
      {"Top=1\nLeft=2\n", 100, 100},
      {"[Window]\n;Top=1\nLeft=2\n", 100, 2},
      {"[ Window ]\nTop=1\n[Window]\nTop=9\nLeft=3", 1, 100},
      {"", 100, 100},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.file);
    WriteFile(folder / "config.ini", row.file);
    const TKvWindowPosition position = LoadWindowPosition(U(folder / "config.ini"));
    EXPECT_EQ(position.Top, row.top);
    EXPECT_EQ(position.Left, row.left);
  }
}

TEST_F(WindowPosition, SavingKeepsEveryOtherLineAndUpdatesInPlace) {
  struct Row {
    std::string before, after;
  };
  const Row rows[] = {
      // in place, the key's place and spelling and every other line kept byte for byte
      {"; mine\r\n[Window]\r\nLeft = 9\r\n  other = \"x\" \r\nTOP=8\r\n\r\n[More]\r\nk=v",
       "; mine\r\n[Window]\r\nLeft=20\r\n  other = \"x\" \r\nTOP=10\r\n\r\n[More]\r\nk=v"},
      // a missing key goes to the end of its section, before the blank lines that follow it
      {"[window]\nLeft=1\n\n[More]\nk=v\n", "[window]\nLeft=20\nTop=10\n\n[More]\nk=v\n"},
      // a missing section goes to the end of the file, which gets its missing line end
      {"[More]\nk=v", "[More]\nk=v\n[Window]\nTop=10\nLeft=20\n"},
      {"[More]\r\nk=v\r\n", "[More]\r\nk=v\r\n[Window]\r\nTop=10\r\nLeft=20\r\n"},
      {"", "[Window]\nTop=10\nLeft=20\n"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.before);
    WriteFile(folder / "config.ini", row.before);
    SaveWindowPosition(U(folder / "config.ini"), 10, 20);
    EXPECT_EQ(ReadFile(folder / "config.ini"), row.after);
  }
}

TEST_F(WindowPosition, FailedWritesNameThePathAndCreateNoFolder) {
  const auto config = folder / "missing" / "config.ini";
  try {
    SaveWindowPosition(U(config), 1, 2);
    FAIL() << "no error";
  } catch (const EKvError &error) {
    EXPECT_EQ(error.Message(), u"Unable to write to " + U(config));
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "missing"));

  // An unreadable file is never overwritten with what little could be read. Root reads every
  // file, so the user is played by an unprivileged account.
  WriteFile(folder / "config.ini", "[Window]\nTop=1\n[Mine]\nkeep=me\n");
  GiveToUnprivilegedUser(folder);
  chmod((folder / "config.ini").c_str(), 0200);
  EXPECT_EQ(
      InChildProcess(
          [&] { return ErrorText([&] { SaveWindowPosition(U(folder / "config.ini"), 1, 2); }); },
          TChildUser::Unprivileged),
      "Unable to write to " + (folder / "config.ini").string());
  chmod((folder / "config.ini").c_str(), 0600);
  EXPECT_EQ(ReadFile(folder / "config.ini"), "[Window]\nTop=1\n[Mine]\nkeep=me\n");
}

TEST_F(WindowPosition, ConfigIniIsTheOwnersAloneEvenInAFolderOthersMayRead) {
  // A data folder made by an older version, or by the user, may let others look in.
  chmod(folder.c_str(), 0755);
  const mode_t previous = umask(022);
  const auto config = folder / "config.ini";
  WriteFile(config, "[Window]\nTop=1\n");
  chmod(config.c_str(), 0644);
  SaveWindowPosition(U(config), 5, 6);
  umask(previous);
  EXPECT_EQ(ModeOf(config), 0600u);
  EXPECT_EQ(ReadFile(config), "[Window]\nTop=5\nLeft=6\n");
}

// A FIFO named config.ini would block the window's opening for ever, waiting for a writer; a
// device may never end. Neither is read: the position is the default, and neither is replaced.
TEST_F(WindowPosition, AFifoOrADeviceNamedConfigIniIsRefusedAtOnce) {
  const auto config = folder / "config.ini";
  for (bool fifo : {true, false}) {
    SCOPED_TRACE(fifo ? "FIFO" : "device");
    std::filesystem::remove(config);
    if (fifo)
      ASSERT_EQ(mkfifo(config.c_str(), 0600), 0);
    else
      std::filesystem::create_symlink("/dev/zero", config);
    const auto outcome = InChildProcess(
        [&] {
          const TKvWindowPosition position = LoadWindowPosition(U(config));
          return std::to_string(position.Top) + "," + std::to_string(position.Left) + "; " +
                 ErrorText([&] { SaveWindowPosition(U(config), 1, 2); });
        },
        TChildUser::Same, 10);
    EXPECT_EQ(outcome, "100,100; Unable to write to " + config.string());
    EXPECT_EQ(fifo, std::filesystem::is_fifo(config));
  }
}

using FingerprintSetting = TempFolderTest;

TEST_F(FingerprintSetting, ShownUnlessShowIsZero) {
  const std::pair<std::string, bool> rows[] = {
      {"", true},
      {"[Fingerprint]\nShow=1\n", true},
      {"[Fingerprint]\nShow=0\n", false},
      {"[fingerprint]\r\nshow = 0 \r\n", false},
      {"[Fingerprint]\nShow=\"0\"\n", false},
      {"[Fingerprint]\nShow=no\n", true},
      {"[Fingerprint]\nShow=\n", true},
      {"[Window]\nShow=0\n", true},
  };
  for (const auto &[file, shown] : rows) {
    SCOPED_TRACE(file);
    WriteFile(folder / "config.ini", file);
    EXPECT_EQ(FingerprintShown(U(folder / "config.ini")), shown);
  }
  EXPECT_TRUE(FingerprintShown(U(folder / "missing.ini")));
}

TEST_F(WindowPosition, ProfileStringsDropOnePairOfQuotesAndTheBlanks) {
  WriteFile(folder / "p.ini", "[S]\na= \"'q'\" \nb=''\nc=\"x\ne=  spaced out  \n");
  const auto read = [&](const char16_t *key) {
    return ReadProfileText(U(folder / "p.ini"), u"s", key, u"default");
  };
  EXPECT_EQ(read(u"a"), u"'q'");
  EXPECT_EQ(read(u"b"), u"");
  EXPECT_EQ(read(u"c"), u"\"x");
  EXPECT_EQ(read(u"E"), u"spaced out");
  EXPECT_EQ(read(u"missing"), u"default");
}

using ClipboardClearAfter = TempFolderTest;

TEST_F(ClipboardClearAfter, ReadsSecondsWithThirtyForAnythingUnusableAndADayAtMost) {
  struct Row {
    std::string file;
    int32_t seconds;
  };
  const Row rows[] = {
      {"[Clipboard]\nClearAfter=2\n", 2},
      {"[clipboard]\r\nclearafter = \"45\"\r\n", 45},
      {"[Clipboard]\nClearAfter=0\n", 0}, // never after a delay
      {"[Clipboard]\nClearAfter=0x10\n", 16},
      {"[Clipboard]\nClearAfter=-1\n", 30},
      {"[Clipboard]\nClearAfter=ten\n", 30},
      {"[Clipboard]\nClearAfter=\n", 30},
      {"[Clipboard]\nClearAfter=99999999999\n", 30}, // beyond 32 bits: no integer
      {"[Clipboard]\nClearAfter=86401\n", 86400},
      {"[Clipboard]\nClearAfter=2147483647\n", 86400},
      {"[Window]\nClearAfter=5\n", 30},
      {"", 30},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.file);
    WriteFile(folder / "config.ini", row.file);
    EXPECT_EQ(LoadClipboardClearAfter(U(folder / "config.ini")), row.seconds);
  }
  EXPECT_EQ(LoadClipboardClearAfter(U(folder / "missing.ini")), 30);
}

using TrayWait = TempFolderTest;

TEST_F(TrayWait, ReadsItsOwnKeyInSecondsWithThirtyForAnythingUnusableAndADayAtMost) {
  struct Row {
    std::string file;
    int32_t seconds;
  };
  const Row rows[] = {
      {"[Tray]\nWaitAtStart=2\n", 2},
      {"[tray]\r\nwaitatstart = 90\r\n", 90},
      {"[Tray]\nWaitAtStart=0\n", 0}, // tell at once
      {"[Tray]\nWaitAtStart=-5\n", 30},
      {"[Tray]\nWaitAtStart=soon\n", 30},
      {"[Tray]\nWaitAtStart=86401\n", 86400},
      // The clipboard's delay is not the tray's, nor the other way round.
      {"[Clipboard]\nClearAfter=5\nWaitAtStart=5\n[Tray]\nClearAfter=7\n", 30},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.file);
    WriteFile(folder / "config.ini", row.file);
    EXPECT_EQ(LoadTrayWait(U(folder / "config.ini")), row.seconds);
  }
  EXPECT_EQ(LoadTrayWait(U(folder / "missing.ini")), 30);
}

TEST_F(ClipboardClearAfter, SurvivesEveryWriteOfTheWindowsOwnKeys) {
  const auto config = folder / "config.ini";
  WriteFile(config, "[Clipboard]\r\nClearAfter=2\r\n[Window]\r\nTop=1\r\nLeft=2\r\n");
  SaveWindowPosition(U(config), 10, 20);
  RecordSiteLinesTyped(U(config));
  EXPECT_EQ(ReadFile(config), "[Clipboard]\r\nClearAfter=2\r\n[Window]\r\nTop=10\r\nLeft=20\r\n"
                              "[Sites]\r\nLines=typed\r\n");
  EXPECT_EQ(LoadClipboardClearAfter(U(config)), 2);
}

} // namespace

namespace {

class AutoRun : public XdgFolderTest {
protected:
  std::filesystem::path Entry() const {
    return folder / "config/autostart/org.korvane.Quillgate.desktop";
  }
  std::u16string ErrorOf(const std::function<void()> &action) {
    try {
      action();
    } catch (const EKvError &error) {
      return error.Message();
    }
    return u"(no error)";
  }
};

TEST_F(AutoRun, RegistersReadsBackReRegistersAndUnregisters) {
  EXPECT_EQ(GetAutoRun(*env), u"");
  SetAutoRun(u"/opt/quillgate/bin/quillgate", false, *env);
  EXPECT_EQ(ReadFile(Entry()), "[Desktop Entry]\nType=Application\nName=Korvane Quillgate\n"
                               "Icon=org.korvane.Quillgate\n"
                               "Exec=\"/opt/quillgate/bin/quillgate\"\n"
                               "X-GNOME-Autostart-Delay=5\n");
  EXPECT_EQ(ModeOf(folder / "config"), 0700u);
  EXPECT_EQ(GetAutoRun(*env), u"/opt/quillgate/bin/quillgate");

  SetAutoRun(u"/usr/bin/quillgate", false, *env);
  EXPECT_EQ(GetAutoRun(*env), u"/usr/bin/quillgate");

  SetAutoRun(u"ignored", true, *env);
  EXPECT_FALSE(std::filesystem::exists(Entry()));
  EXPECT_TRUE(std::filesystem::is_directory(Entry().parent_path())) << "the folder stays";
  EXPECT_EQ(GetAutoRun(*env), u"");
  SetAutoRun(u"", true, *env); // nothing left to remove
  EXPECT_FALSE(std::filesystem::exists(Entry()));
  EXPECT_EQ(GetAutoRun(*env), u"");
  std::filesystem::remove_all(folder / "config");
  SetAutoRun(u"", true, *env);
  EXPECT_FALSE(std::filesystem::exists(folder / "config")) << "unregistering makes nothing";
}

TEST_F(AutoRun, PathsSurviveTheDesktopEntryEscapes) {
  const std::u16string paths[] = {
      u"/home/a user/My Programs/quillgate",
      u"/opt/100%/q",
      u"/opt/\"quoted\"/back\\slash/$HOME/`tick`",
      u"/opt/tab\there/new\nline",
      u"/opt/\u00FCml\u00E4ut/\u20AC",
  };
  for (const auto &path : paths) {
    SCOPED_TRACE(Utf16ToUtf8(path));
    SetAutoRun(path, false, *env);
    EXPECT_EQ(GetAutoRun(*env), path);
  }
  SetAutoRun(u"/opt/100%/a b", false, *env);
  EXPECT_NE(ReadFile(Entry()).find("Exec=\"/opt/100%%/a b\"\n"), std::string::npos);
  SetAutoRun(u"/x/\"y\\", false, *env);
  EXPECT_NE(ReadFile(Entry()).find("Exec=\"/x/\\\\\"y\\\\\\\\\"\n"), std::string::npos);
}

TEST_F(AutoRun, ReadsHandMadeEntries) {
  struct Row {
    std::string entry;
    std::u16string registered; // or the error message
    bool error;
  };
  const std::u16string invalid = u"Invalid data type for 'Korvane Quillgate'";
  const Row rows[] = {
      {"[Desktop Entry]\nType=Application\nExec=/usr/bin/q --hidden %U\n", u"/usr/bin/q", false},
      {"# mine\n\n[Desktop Entry]\r\nName=Q\r\nType = Application\r\nExec = \"/a b/q\" -x\r\n",
       u"/a b/q", false},
      // \s is a space at the string level, so it separates arguments unless quoted
      {"[Desktop Entry]\nType=Application\nExec=/a\\sb\n", u"/a", false},
      {"[Desktop Entry]\nType=Application\nExec=\"/a\\sb\"\n", u"/a b", false},
      {"[Desktop Entry]\nType=Application\nExec=\n", u"", false},
      {"[Desktop Entry]\nType=Application\nName=no command\n", u"", false},
      {"[Desktop Entry]\nType=Application\nExec=/q\nHidden=true\n", u"", false},
      {"[Desktop Entry]\nType=Application\nExec=/q\nX-GNOME-Autostart-enabled=false\n", u"", false},
      {"[Desktop Entry]\nType=Application\nExec=/q\nX-GNOME-Autostart-enabled=true\nHidden=false\n",
       u"/q", false},
      {"[Desktop Entry]\nType=Application\n[Desktop Action x]\nExec=/other\n", u"", false},
      {"", u"", false},
      {"[Desktop Entry]\nType=Link\nURL=https://example.com\n", invalid, true},
      {"[Desktop Entry]\nExec=/q\n", invalid, true},
      {"[Something Else]\nType=Application\nExec=/q\n", invalid, true},
      {"Type=Application\nExec=/q\n", invalid, true},
      {"just text", invalid, true},
  };
  std::filesystem::create_directories(Entry().parent_path());
  for (const auto &row : rows) {
    SCOPED_TRACE(row.entry);
    WriteFile(Entry(), row.entry);
    if (row.error) {
      EXPECT_EQ(ErrorOf([&] { GetAutoRun(*env); }), row.registered);
    } else {
      EXPECT_EQ(GetAutoRun(*env), row.registered);
    }
  }
  // An entry that is a folder is no desktop entry either.
  std::filesystem::remove(Entry());
  std::filesystem::create_directory(Entry());
  EXPECT_EQ(ErrorOf([&] { GetAutoRun(*env); }), invalid);
}

TEST_F(AutoRun, FailuresCarryTheRegistrationMessages) {
  // The folder cannot be made: a file stands where the configuration folder should be.
  WriteFile(folder / "config", "a file");
  EXPECT_EQ(ErrorOf([&] { SetAutoRun(u"/q", false, *env); }),
            u"Failed to create key " + U(folder / "config/autostart"));
  std::filesystem::remove(folder / "config");

  // The entry cannot be written: a folder stands in its place.
  std::filesystem::create_directories(Entry() / "sub");
  EXPECT_EQ(ErrorOf([&] { SetAutoRun(u"/q", false, *env); }),
            u"Failed to set data for 'Korvane Quillgate'");
  try { // the file's own error stays behind the fixed message
    SetAutoRun(u"/q", false, *env);
  } catch (const EKvError &error) {
    EXPECT_EQ(error.Detail(),
              u"Cannot create file \"" + U(Entry()) + u"\". " + SystemErrorText(EISDIR));
  }
  std::filesystem::remove_all(Entry());

  // An entry that cannot be read, and a folder that cannot be written. Root reads and writes
  // every file, so the user is played by an unprivileged account.
  SetAutoRun(u"/q", false, *env);
  GiveToUnprivilegedUser(folder);
  const auto asUser = [](const std::function<void()> &action) {
    return InChildProcess([&] { return ErrorText(action); }, TChildUser::Unprivileged);
  };
  chmod(Entry().c_str(), 0200);
  EXPECT_EQ(asUser([&] { GetAutoRun(*env); }), "Failed to get data for 'Korvane Quillgate'");
  chmod(Entry().c_str(), 0600);
  chmod(Entry().parent_path().c_str(), 0500);
  EXPECT_EQ(asUser([&] { SetAutoRun(u"/other", false, *env); }),
            "Failed to set data for 'Korvane Quillgate'");
  chmod(Entry().parent_path().c_str(), 0700);
  EXPECT_EQ(GetAutoRun(*env), u"/q");
}

using RunningExecutable_ = TempFolderTest;

TEST_F(RunningExecutable_, KeepsItsPathWhenTheBinaryIsDeletedWhileItRuns) {
  // A package update replaces the binary under a running program; /proc then says " (deleted)".
  for (const char *name : {"quillgate", "a program with spaces"}) {
    SCOPED_TRACE(name);
    const auto copy = folder / name;
    std::filesystem::copy_file(KV_PRINT_EXECUTABLE_PATH, copy);
    int in[2], out[2], started[2];
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    ASSERT_EQ(pipe2(started, O_CLOEXEC), 0); // closed by a successful exec
    const pid_t pid = fork();
    if (pid == 0) {
      dup2(in[0], 0), dup2(out[1], 1);
      for (int fd : {in[0], in[1], out[0], out[1], started[0]})
        close(fd);
      execl(copy.c_str(), copy.c_str(), nullptr);
      _exit(127);
    }
    close(in[0]), close(out[1]), close(started[1]);
    char ignored;
    EXPECT_EQ(read(started[0], &ignored, 1), 0) << "the copy runs";
    close(started[0]);
    std::filesystem::remove(copy);
    EXPECT_EQ(write(in[1], "go\n", 3), 3);
    close(in[1]);
    std::string printed;
    char buffer[512];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
      printed.append(buffer, std::size_t(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(printed, copy.string());
  }
}

TEST(RunningExecutable, IsThisTestProgram) {
  const std::u16string path = RunningExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), u'/');
  EXPECT_TRUE(std::filesystem::equivalent(Utf16ToUtf8(path), "/proc/self/exe"));
}

} // namespace
