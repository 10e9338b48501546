// SPDX-License-Identifier: GPL-3.0-or-later
// Whatever the data folder holds, the window opens, says what is wrong, and its closing never
// writes less than the files held.

#include "MainWindowFixture.h"
#include "sites/SiteDatabase.h"
#include "storage/MasterPassword.h"
#include "support/ChildProcess.h"
#include "support/ReadOnlyFolder.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <vector>

namespace {

// The lines a list file holds, as the lists read them.
std::vector<std::u16string> LinesOf(const std::string &bytes) {
  TKvLogins list;
  list.LoadFromBytes(ByteArray(bytes.begin(), bytes.end()));
  std::vector<std::u16string> lines;
  lines.reserve(std::size_t(list.Count()));
  for (int32_t i = 0; i < list.Count(); ++i)
    lines.push_back(list.Get(i));
  return lines;
}

std::string Garbage(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char &byte : bytes)
    byte = char(random() & 0xFF);
  return bytes;
}

// About 100 MB of login lines for one site, in lines of 100 bytes.
std::string HugeLoginList() {
  std::string bytes = Mark;
  bytes.reserve(100'000'000 + 200);
  char line[128];
  for (int i = 0; bytes.size() < 100'000'000; ++i) {
    std::snprintf(line, sizeof line, "1:%07d-%s\r\n", i,
                  std::string(88, char('a' + i % 26)).c_str());
    bytes += line;
  }
  return bytes;
}

std::string Utf16Le(const std::u16string &text) {
  std::string bytes;
  for (const char16_t c : text) {
    bytes += char(c & 0xFF);
    bytes += char(c >> 8);
  }
  return bytes;
}

std::string Utf16Be(const std::u16string &text) {
  std::string bytes;
  for (const char16_t c : text) {
    bytes += char(c >> 8);
    bytes += char(c & 0xFF);
  }
  return bytes;
}

const std::string OneSite = std::string(Mark) + "1:https://one.example\r\n";

TEST_F(MainWindowTest, DamagedHugeAndLongListFilesOpenAndEveryLineSurvivesTheClose) {
  struct Row {
    const char *name;
    std::function<std::string()> urls, logins;
    int buttons; // -1: whatever the lines give
    bool asIs;   // in UTF-8 with its mark and CR LF ends: written back byte for byte
  };
  const std::string longURL = "1:https://one.example/" + std::string(1 << 20, 'p') + "\r\n";
  const std::string longLogin = "1:" + std::string(1 << 20, 'l') + "\r\n";
  const Row rows[] = {
      {"a login list of 100 MB", [] { return OneSite; }, HugeLoginList, 1, true},
      {"a site line and a login line of 1 MB each", [&] { return Mark + longURL; },
       [&] { return Mark + longLogin; }, 1, true},
      {"binary garbage in both lists", [] { return Garbage(256 << 10, 1); },
       [] { return Garbage(256 << 10, 2); }, -1, false},
      {"binary garbage after the UTF-8 mark", [] { return Mark + Garbage(64 << 10, 3); },
       [] { return Mark + Garbage(64 << 10, 4); }, -1, false},
      {"UTF-16 with an odd byte count",
       [] { return "\xFF\xFE" + Utf16Le(u"1:https://one.example\r\n") + "\x32"; },
       [] { return "\xFF\xFE" + Utf16Le(u"1:ann\r\n1:b\u00F6b") + "x"; }, 1, false},
      {"UTF-16 big-endian with an odd byte count",
       [] {
         return "\xFE\xFF" + Utf16Be(u"1:https://one.example\r\n2:https://two.example") +
                std::string(1, '\0');
       },
       [] { return "\xFE\xFF" + Utf16Be(u"2:carl\r\n") + "\xD8"; }, 2, false},
      {"a UTF-16 mark with half a unit", [] { return OneSite; },
       [] { return std::string("\xFF\xFE\x31", 3); }, 1, false},
      {"half a UTF-16 mark", [] { return OneSite; }, [] { return std::string("\xFE", 1); }, 1,
       false},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(data);
    errors.clear();
    Put("config.ini", "[Sites]\r\nLines=typed\r\n");
    const std::string urls = row.urls(), logins = row.logins();
    Put("urls.db", urls);
    Put("logins.db", logins);
    // The lines as the lists read them; a file that is written back as it stands needs none.
    const std::vector<std::u16string> urlLines = LinesOf(urls);
    const std::vector<std::u16string> loginLines =
        row.asIs ? std::vector<std::u16string>() : LinesOf(logins);
    const auto start = std::chrono::steady_clock::now();
    {
      auto window = Open();
      EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
      if (row.buttons >= 0) {
        EXPECT_EQ(window->bgThumbs->Count(), row.buttons);
      }
      EXPECT_EQ(std::size_t(window->URLs().Count()), urlLines.size());
      if (!row.asIs) {
        EXPECT_EQ(std::size_t(window->Logins().Count()), loginLines.size());
      }
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    if (row.asIs) {
      EXPECT_TRUE(Get("urls.db") == urls);
      EXPECT_TRUE(Get("logins.db") == logins);
    } else {
      EXPECT_TRUE(LinesOf(Get("urls.db")) == urlLines);
      EXPECT_TRUE(LinesOf(Get("logins.db")) == loginLines);
    }
    EXPECT_FALSE(Has("urls.db.bak"));
    EXPECT_FALSE(Has("logins.db.bak"));
    std::printf("%s: opened and closed in %.1f s\n", row.name,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
}

// Every file under the folder with its bytes; a folder as "<folder>".
std::map<std::string, std::string> Content(const std::filesystem::path &folder) {
  std::map<std::string, std::string> files;
  for (const auto &entry : std::filesystem::recursive_directory_iterator(folder)) {
    std::string &bytes = files[std::filesystem::relative(entry.path(), folder).string()];
    if (entry.is_directory()) {
      bytes = "<folder>";
    } else {
      std::ifstream in(entry.path(), std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  return files;
}

TEST_F(MainWindowTest, DataFolderThatCannotBeUsedIsReportedAndKeepsWhatItHeld) {
  auto path = [&](const char *name) { return QString::fromStdString((data / name).string()); };
  const QString unreadKey =
      "The saved master password could not be read, and it is kept for a later opening. ";
  const auto unreadLists = [&](const QString &error) {
    return error +
           ".\n\nThe site list and the login list are left as they are, and the window "
           "shows neither. Sites and logins you add now are kept in \"" +
           path("urls.db") + ".new\" and \"" + path("logins.db") +
           ".new\", and join the lists at the first opening that can read both. Make the file "
           "readable again, then open the window again.";
  };
  enum class TRestriction { None, ReadOnly, AnotherUsers };
  struct Row {
    const char *name;
    const char *folderInstead; // a folder of that name instead of the file
    TRestriction restriction;
    bool keyRead; // the saved password came back
    QStringList opening, closing;
  };
  const Row rows[] = {
      {"a folder where master.key should be",
       "master.key",
       TRestriction::None,
       false,
       {unreadKey + "Cannot open file \"" + path("master.key") + "\". Is a directory"},
       {}},
      {"a folder where urls.db should be",
       "urls.db",
       TRestriction::None,
       true,
       {unreadLists("Cannot open file \"" + path("urls.db") + "\". Is a directory")},
       {}},
      {"a folder where config.ini should be",
       "config.ini",
       TRestriction::None,
       true,
       {},
       {"Unable to write to " + path("config.ini") + ".\n\nCannot open file \"" +
        path("config.ini") + "\". Is a directory"}},
      {"a data folder that is not writable",
       nullptr,
       TRestriction::ReadOnly,
       true,
       {},
       {"Unable to write to " + path("config.ini") + ".\n\nCannot create file \"" +
        path("config.ini") + "\". Permission denied"}},
      {"a data folder of another user",
       nullptr,
       TRestriction::AnotherUsers,
       false,
       {unreadKey + "Cannot open file \"" + path("master.key") + "\". Permission denied",
        unreadLists("Cannot open file \"" + path("urls.db") + "\". Permission denied")},
       {"Unable to write to " + path("config.ini") + ".\n\nCannot open file \"" +
        path("config.ini") + "\". Permission denied"}},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(data);
    errors.clear();
    Put("urls.db", OneSite);
    Put("logins.db", std::string(Mark) + "1:ann\r\n");
    Put("config.ini", "[Window]\r\nTop=120\r\nLeft=130\r\n[Sites]\r\nLines=typed\r\n");
    SaveMasterPassword(u"saved", (data / "master.key").u16string(), *protection);
    if (row.folderInstead != nullptr) {
      std::filesystem::remove(data / row.folderInstead);
      std::filesystem::create_directory(data / row.folderInstead);
      WriteFile(data / row.folderInstead / "kept", "the user's own");
    }
    const std::map<std::string, std::string> before = Content(data);

    {
      std::optional<TReadOnlyFolder> readOnly;
      std::optional<TFileModesBind> modesBind;
      if (row.restriction == TRestriction::ReadOnly)
        readOnly.emplace(data);
      if (row.restriction == TRestriction::AnotherUsers) {
        GiveToUnprivilegedUser(data); // as root; any other user meets a folder it may not enter
        std::filesystem::permissions(data, geteuid() == 0 ? std::filesystem::perms::owner_all
                                                          : std::filesystem::perms::none);
        modesBind.emplace();
      }
      {
        auto window = Open();
        EXPECT_EQ(errors, row.opening);
        EXPECT_EQ(window->cbSave->isChecked(), row.keyRead);
        EXPECT_EQ(window->edMasterPass->text(), row.keyRead ? "saved" : "");
      }
      EXPECT_EQ(errors, row.opening + row.closing);
      modesBind.reset();
    }
    std::filesystem::permissions(data, std::filesystem::perms::owner_all);
    if (geteuid() == 0)
      for (const auto &entry : std::filesystem::recursive_directory_iterator(data))
        lchown(entry.path().c_str(), 0, 0);

    // Every file keeps its bytes, and nothing is added: the lists were not edited.
    const std::map<std::string, std::string> after = Content(data);
    for (const auto &[name, bytes] : before) {
      SCOPED_TRACE(name);
      EXPECT_TRUE(after.contains(name) && after.at(name) == bytes);
    }
    for (const auto &[name, bytes] : after)
      EXPECT_TRUE(before.contains(name) || name == "config.ini") << name;
  }
}

} // namespace
