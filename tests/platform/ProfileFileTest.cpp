// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProfileFile.h"

#include "common/Unicode.h"
#include "support/TempFolder.h"
#include "support/Wine.h"

#include <vector>

namespace {

using ProfileFile = TempFolderTest;

std::vector<std::string> Lines(const std::string &content) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    auto end = content.find('\n', start);
    if (end == std::string::npos)
      end = content.size();
    std::string line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// Wine's profile writer rewrites the whole file: it drops the blanks around "=", trailing blanks
// and blank lines of lines it did not touch, where Windows keeps them. Under Wine the untouched
// lines are compared in that form.
std::vector<std::string> AsWineWritesThem(std::vector<std::string> lines) {
  std::vector<std::string> kept;
  for (std::string &line : lines) {
    while (!line.empty() && line.back() == ' ')
      line.pop_back();
    if (const auto equals = line.find('='); equals != std::string::npos && line[0] != ';') {
      std::string key = line.substr(0, equals), value = line.substr(equals + 1);
      while (!key.empty() && key.back() == ' ')
        key.pop_back();
      value.erase(0, value.find_first_not_of(' '));
      line = key;
      line += "=";
      line += value;
    }
    if (!line.empty())
      kept.push_back(line);
  }
  return kept;
}

void ExpectLines(const std::string &content, const std::vector<std::string> &expected) {
  if (RunningUnderWine())
    EXPECT_EQ(AsWineWritesThem(Lines(content)), AsWineWritesThem(expected));
  else
    EXPECT_EQ(Lines(content), expected);
}

TEST_F(ProfileFile, ReadsNamesInAnyCaseWithoutBlanksAndOnePairOfQuotes) {
  const auto file = U(folder / "config.ini");
  WriteFile(folder / "config.ini", "; written by hand\r\n"
                                   "[Other]\r\n"
                                   "Top=1\r\n"
                                   "[WINDOW]\r\n"
                                   "top =  250  \r\n"
                                   "Left=\"  -12 \"\r\n"
                                   "Single='x'\r\n"
                                   "Inner=a\"b\"\r\n"
                                   "Half=\"x\r\n"
                                   "Empty=\r\n");
  const struct {
    std::u16string Section, Key, Value;
  } rows[] = {
      {u"Window", u"Top", u"250"},  {u"window", u"LEFT", u"  -12 "},
      {u"Window", u"Single", u"x"}, {u"Window", u"Inner", u"a\"b\""},
      {u"Window", u"Half", u"\"x"}, {u"Window", u"Empty", u""},
      {u"Other", u"Top", u"1"},     {u"Window", u"Missing", u"d"},
      {u"Missing", u"Top", u"d"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(Utf16ToUtf8(row.Section + u"/" + row.Key));
    EXPECT_EQ(ReadProfileText(file, row.Section, row.Key, u"d"), row.Value);
  }
  EXPECT_EQ(ReadProfileText(U(folder / "missing.ini"), u"Window", u"Top", u"d"), u"d");
}

TEST_F(ProfileFile, WritesInPlaceAppendsWhatIsMissingAndKeepsEveryOtherLine) {
  const auto path = folder / "config.ini";
  WriteFile(path, "; written by hand\r\n"
                  "[Other]\r\n"
                  "Key = kept \r\n"
                  "\r\n"
                  "[window]\r\n"
                  "TOP=1\r\n"
                  "Extra=e\r\n");
  ASSERT_TRUE(WriteProfileText(U(path), u"Window", u"Top", u"250"));
  ASSERT_TRUE(WriteProfileText(U(path), u"Window", u"Left", u"-7"));
  ASSERT_TRUE(WriteProfileText(U(path), u"New", u"K", u"v"));
  FlushProfileFile(U(path));
  // A replaced key keeps the spelling the file gave it.
  ExpectLines(ReadFile(path), {"; written by hand", "[Other]", "Key = kept ", "", "[window]",
                               "TOP=250", "Extra=e", "Left=-7", "[New]", "K=v"});
  EXPECT_EQ(ReadProfileText(U(path), u"window", u"top", u""), u"250");
}

TEST_F(ProfileFile, SeveralKeysOfASectionAreWrittenTogetherKeepingEveryOtherLine) {
  const auto path = folder / "config.ini";
  const struct {
    const char *Name;
    bool Exists;
    std::string Before;
    std::vector<std::string> After;
  } rows[] = {
      {"no file", false, "", {"[Window]", "Top=250", "Left=-7"}},
      {"both keys there",
       true,
       "; note\r\n[Window]\r\n top = 1 \r\nLeft=2\r\n[Other]\r\nKeep = me \r\n",
       {"; note", "[Window]", "top=250", "Left=-7", "[Other]", "Keep = me "}},
      {"one key there, the other added after the section's last line",
       true,
       "[window]\r\nLEFT=2\r\nExtra=e\r\n\r\n[Other]\r\n",
       {"[window]", "LEFT=-7", "Extra=e", "Top=250", "", "[Other]"}},
      {"section missing, added at the end in the order given",
       true,
       "[Sites]\r\nLines=typed",
       {"[Sites]", "Lines=typed", "[Window]", "Top=250", "Left=-7"}},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Name);
    std::filesystem::remove(path);
    if (row.Exists)
      WriteFile(path, row.Before);
    ASSERT_TRUE(WriteProfileTexts(U(path), u"Window", {{u"Top", u"250"}, {u"Left", u"-7"}}));
    FlushProfileFile(U(path));
    ExpectLines(ReadFile(path), row.After);
  }
  const auto missing = folder / "missing" / "config.ini";
  EXPECT_FALSE(WriteProfileTexts(U(missing), u"Window", {{u"Top", u"1"}, {u"Left", u"2"}}));
}

#ifndef _WIN32
// Keys added after a last line that has no line end: that line, and every key on it, reads as it
// did. A last line that ends in a lone CR (a file cut short, or edited where CR ends lines) gets
// CR LF, so that the CR stays part of it.
TEST_F(ProfileFile, AddingAfterALastLineWithoutItsEndKeepsThatLineAsItReads) {
  const struct {
    const char *name;
    std::string before, after;
  } rows[] = {
      {"no end", "[Other]\nKey=\"12\" ", "[Other]\nKey=\"12\" \n[Sites]\nLines=typed\n"},
      {"a lone CR", "[Other]\nKey=\"12\" \r", "[Other]\nKey=\"12\" \r\r\n[Sites]\nLines=typed\n"},
      {"a lone CR, CR LF file", "[Other]\r\nKey=\"12\" \r",
       "[Other]\r\nKey=\"12\" \r\r\n[Sites]\r\nLines=typed\r\n"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    const auto path = folder / "config.ini";
    WriteFile(path, row.before);
    const std::u16string value = ReadProfileText(U(path), u"Other", u"Key", u"d");
    ASSERT_TRUE(WriteProfileText(U(path), u"Sites", u"Lines", u"typed"));
    EXPECT_EQ(ReadFile(path), row.after);
    EXPECT_EQ(ReadProfileText(U(path), u"Other", u"Key", u"d"), value);
    EXPECT_EQ(ReadProfileText(U(path), u"Sites", u"Lines", u"d"), u"typed");
  }
}
#endif

TEST_F(ProfileFile, ANewFileIsCreatedButNeverItsFolder) {
  const auto path = folder / "config.ini";
  ASSERT_TRUE(WriteProfileText(U(path), u"Window", u"Top", u"100"));
  ASSERT_TRUE(WriteProfileText(U(path), u"Window", u"Left", u"100"));
  FlushProfileFile(U(path));
  ExpectLines(ReadFile(path), {"[Window]", "Top=100", "Left=100"});

  const auto missing = folder / "missing" / "config.ini";
  const TKvProfileWrite refused = WriteProfileText(U(missing), u"Window", u"Top", u"1");
  EXPECT_FALSE(refused);
  // The system's reason for a folder that is not there, whatever the system's words.
  EXPECT_FALSE(refused.Reason.empty());
#ifndef _WIN32
  EXPECT_NE(refused.Reason.find(u"No such file or directory"), std::u16string::npos);
#endif
  FlushProfileFile(U(missing));
  EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
}

} // namespace
