#include "storage/Settings.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "platform/ProfileFile.h"
#include "support/TempFolder.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::u16string U(const std::filesystem::path &path) { return Utf8ToUtf16(path.string()); }

unsigned ModeOf(const std::filesystem::path &path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 0777;
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
      {{{"XDG_DATA_HOME", "relative/data"}, {"HOME", "/h"}}, "", u"/h/.local/share/Korvane Quillgate"},
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
  EXPECT_NO_THROW(EnsureDataFolder(env));
  EXPECT_THROW(SaveWindowPosition(GetConfigFileName(env), 1, 2), EKvError);
}

TEST(ProfileTextToInteger, ReadsTheProfileIntegerSyntax) {
  struct Row {
    std::u16string text;
    bool ok;
    int32_t value;
  };
  const Row rows[] = {
      {u"250", true, 250},           {u"-1200", true, -1200},
      {u"0x20", true, 32},           {u"0X20", true, 32},
      {u"$20", true, 32},            {u"x20", true, 32},
      {u"X20", true, 32},            {u"-0x20", true, -32},
      {u"+7", true, 7},              {u"  7", true, 7},
      {u"007", true, 7},             {u"0", true, 0},
      {u"2147483647", true, 2147483647}, {u"-2147483648", true, -2147483647 - 1},
      {u"0xFFFFFFFF", true, -1},     {u"0x000000000FFFFFFFF", true, -1},
      {u"0x80000000", true, -2147483647 - 1},
      {u"2147483648", false, 0},     {u"-2147483649", false, 0},
      {u"99999999999999999999", false, 0},
      {u"0x100000000", false, 0},    {u"50px", false, 0},
      {u"1e3", false, 0},            {u"+-5", false, 0},
      {u"", false, 0},               {u"-", false, 0},
      {u"0x", false, 0},             {u"$", false, 0},
      {u"7 ", false, 0},             {u"0xG", false, 0},
      {u"\t7", false, 0},            {u"\uFF17", false, 0},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(Utf16ToUtf8(row.text));
    int32_t value = 12345;
    EXPECT_EQ(ProfileTextToInteger(row.text, value), row.ok);
    if (row.ok) {
      EXPECT_EQ(value, row.value);
    }
  }
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
      // in place, the key's place and every other line kept byte for byte
      {"; mine\r\n[Window]\r\nLeft = 9\r\n  other = \"x\" \r\nTOP=8\r\n\r\n[More]\r\nk=v",
       "; mine\r\n[Window]\r\nLeft=20\r\n  other = \"x\" \r\nTop=10\r\n\r\n[More]\r\nk=v"},
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

  // An unreadable file is never overwritten with what little could be read.
  if (geteuid() == 0)
    GTEST_SKIP() << "root reads every file";
  WriteFile(folder / "config.ini", "[Window]\nTop=1\n[Mine]\nkeep=me\n");
  chmod((folder / "config.ini").c_str(), 0200);
  EXPECT_THROW(SaveWindowPosition(U(folder / "config.ini"), 1, 2), EKvError);
  chmod((folder / "config.ini").c_str(), 0600);
  EXPECT_EQ(ReadFile(folder / "config.ini"), "[Window]\nTop=1\n[Mine]\nkeep=me\n");
}

TEST_F(WindowPosition, ProfileStringsDropOnePairOfQuotesAndTheBlanks) {
  WriteFile(folder / "p.ini", "[S]\na= \"'q'\" \nb=''\nc=\"x\ne=  spaced out  \n");
  const auto read = [&](const char16_t *key) {
    return ReadProfileString(U(folder / "p.ini"), u"s", key, u"default");
  };
  EXPECT_EQ(read(u"a"), u"'q'");
  EXPECT_EQ(read(u"b"), u"");
  EXPECT_EQ(read(u"c"), u"\"x");
  EXPECT_EQ(read(u"E"), u"spaced out");
  EXPECT_EQ(read(u"missing"), u"default");
}

} // namespace
