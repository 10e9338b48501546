// SPDX-License-Identifier: GPL-3.0-or-later
// Each site's rule and each login's version, as the window's session gives and records them, on
// real files: which records apply, what records.db holds afterwards, and that a folder whose
// records did not change is never written.
#include "common/KvError.h"
#include "common/Unicode.h"
#include "sites/SiteSession.h"
#include "support/TempFolder.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

const std::string Mark = "\xEF\xBB\xBF";
const std::u16string Rule8 = u"minlength: 8; required: digit;";
const std::u16string Rule20 = u"minlength: 20; required: lower; required: upper;";

class SiteRecordsTest : public TempFolderTest {
protected:
  TKvSiteSession Session() const {
    return TKvSiteSession(U(folder / "urls.db"), U(folder / "logins.db"), U(folder / "config.ini"),
                          U(folder / "records.db"));
  }
  // A folder of the version before records: two sites and config.ini's mark of typed lines.
  void WriteLists() const {
    WriteFile(folder / "urls.db", Mark + "1:https://one.example\r\n2:https://two.example/a\r\n");
    WriteFile(folder / "logins.db", Mark + "1:alice\r\n1:Bob\r\n");
    WriteFile(folder / "config.ini", "[Sites]\r\nLines=typed\r\n[Window]\r\nTop=7\r\nLeft=9\r\n");
  }
  TKvSiteSession Opened() {
    TKvSiteSession session = Session();
    session.Open();
    return session;
  }
  std::string Records() const { return ReadFile(folder / "records.db"); }
  std::map<std::string, std::string> FolderBytes() const {
    std::map<std::string, std::string> bytes;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
      bytes[entry.path().filename().string()] =
          entry.is_directory() ? "(folder)" : ReadFile(entry.path());
    return bytes;
  }
};

TEST_F(SiteRecordsTest, ARecordAppliesOnlyToItsSiteWhileTheIndexHoldsItsURLAndToItsLoginExactly) {
  WriteLists();
  // A fourth site with the first one's URL, whose records count while it is the chosen one.
  WriteFile(folder / "urls.db", Mark + "1:https://one.example\r\n2:https://two.example/a\r\n"
                                       "4:https://one.example\r\n");
  WriteFile(folder / "records.db",
            Mark + "1:{\"url\":\"https://one.example\",\"rules\":\"minlength: 8; required: "
                   "digit;\",\"from\":\"one.example\"}\r\n"
                   "1:{\"url\":\"https://one.example\",\"login\":\"Bob\",\"version\":3}\r\n"
                   "this line is no record\r\n"
                   "1:{\"url\":\"https://one.example\",\"login\":\"carl\",\"version\":\"2\"}\r\n"
                   "1:[\"not an object\"]\r\n"
                   // Left by a deleted site whose index the second site took.
                   "2:{\"url\":\"https://gone.example\",\"rules\":\"minlength: 20;\"}\r\n"
                   "2:{\"url\":\"https://gone.example\",\"login\":\"\",\"version\":5}\r\n"
                   "4:{\"url\":\"https://one.example\",\"login\":\"\",\"version\":2}\r\n"
                   // A later record of a site or login that has one counts for nothing.
                   "1:{\"url\":\"https://one.example\",\"rules\":\"minlength: 30;\"}\r\n"
                   "01:{\"url\":\"https://one.example\",\"login\":\"alice\",\"version\":4}\r\n");
  const struct {
    const char *What;
    int32_t Choose; // -1: none
    std::u16string URL, Login;
    TKvPasswordRecipe Recipe;
  } rows[] = {
      {"the site's rule, a login without a version",
       -1,
       u"https://one.example",
       u"alice",
       {Rule8, u"one.example", 1}},
      {"the login's version", -1, u"https://one.example", u"Bob", {Rule8, u"one.example", 3}},
      {"a login in another case", -1, u"https://one.example", u"bob", {Rule8, u"one.example", 1}},
      {"a version that is no number",
       -1,
       u"https://one.example",
       u"carl",
       {Rule8, u"one.example", 1}},
      {"the URL in another case", -1, u"HTTPS://one.example", u"Bob", {}},
      {"another site took the deleted site's index", -1, u"https://two.example/a", u"", {}},
      {"the deleted site's URL", -1, u"https://gone.example", u"", {}},
      {"the first site with the URL", -1, u"https://one.example", u"", {Rule8, u"one.example", 1}},
      {"the chosen site with the URL", 2, u"https://one.example", u"", {u"", u"", 2}},
      {"another site chosen", 1, u"https://one.example", u"", {Rule8, u"one.example", 1}},
  };
  TKvSiteSession session = Opened();
  for (const auto &row : rows) {
    SCOPED_TRACE(row.What);
    if (row.Choose >= 0)
      session.Choose(row.Choose);
    EXPECT_EQ(session.Recipe(row.URL, row.Login), row.Recipe);
  }
}

TEST_F(SiteRecordsTest, RulesAndVersionsSetAreWrittenAtTheClosingAndGivenByTheNextOpening) {
  WriteLists();
  TKvSiteSession session = Opened();
  session.SetRules(u"https://one.example", Rule8, u"one.example");
  session.SetVersion(u"https://one.example", u"Bob", 2);
  session.SetVersion(u"https://two.example/a", u"", 7);
  session.SetRules(u"https://two.example/a", Rule20, u"");
  session.SetRules(u"https://one.example", Rule20, u""); // the user's own now
  session.SetVersion(u"https://one.example", u"Bob", 3);
  // A new URL becomes a site first, as Generate would add it.
  session.SetRules(u"https://new.example", u"  " + Rule8, u"");
  ASSERT_EQ(session.Sites().size(), 3u);
  EXPECT_EQ(session.Sites()[2].URL, u"https://new.example");
  EXPECT_FALSE(std::filesystem::exists(folder / "records.db")) << "written only at the closing";
  session.Save(std::nullopt);

  EXPECT_EQ(Records(),
            Mark + "1:{\"url\":\"https://one.example\",\"rules\":\"minlength: 20; required: lower; "
                   "required: upper;\"}\r\n"
                   "1:{\"url\":\"https://one.example\",\"login\":\"Bob\",\"version\":3}\r\n"
                   "2:{\"url\":\"https://two.example/a\",\"login\":\"\",\"version\":7}\r\n"
                   "2:{\"url\":\"https://two.example/a\",\"rules\":\"minlength: 20; required: "
                   "lower; required: upper;\"}\r\n"
                   "3:{\"url\":\"https://new.example\",\"rules\":\"  minlength: 8; required: "
                   "digit;\"}\r\n");
  const TKvSiteSession again = Opened();
  EXPECT_EQ(again.Recipe(u"https://one.example", u"Bob"), (TKvPasswordRecipe{Rule20, u"", 3}));
  EXPECT_EQ(again.Recipe(u"https://two.example/a", u""), (TKvPasswordRecipe{Rule20, u"", 7}));
  EXPECT_EQ(again.Recipe(u"https://new.example", u"x"), (TKvPasswordRecipe{u"  " + Rule8, u"", 1}));
}

TEST_F(SiteRecordsTest, RemovingARuleOrAVersionKeepsOtherLinesAndUnknownFieldsInTheirPlaces) {
  WriteLists();
  const std::string kept = "not a record \xC3\xA9\r\n";
  WriteFile(folder / "records.db",
            Mark + "1:{\"url\":\"https://one.example\",\"rules\":\"minlength: 8;\"}\r\n" + kept +
                "1:{\"url\":\"https://one.example\",\"login\":\"Bob\",\"version\":2,\"last\":1}"
                "\r\n"
                "1:{\"url\":\"https://one.example\",\"login\":\"alice\",\"version\":2}\r\n"
                "2:{\"lastLogin\":\"x\",\"url\":\"https://two.example/a\",\"from\":\"two.example\","
                "\"rules\":\"minlength: 8;\"}\r\n"
                // A second record of the same site: removing the rule must not bring it back.
                "1:{\"url\":\"https://one.example\",\"rules\":\"minlength: 9;\"}\r\n");
  TKvSiteSession session = Opened();
  session.SetRules(u"https://one.example", u"", u"");
  session.SetRules(u"https://two.example/a", u" \t", u"two.example");
  session.SetVersion(u"https://one.example", u"Bob", 1);
  session.SetVersion(u"https://one.example", u"alice", 1);
  // Nothing recorded, nothing added.
  session.SetRules(u"https://unknown.example", u"", u"");
  session.SetVersion(u"https://unknown.example", u"bob", 1);
  EXPECT_EQ(session.Sites().size(), 2u);
  EXPECT_EQ(session.Recipe(u"https://one.example", u"Bob"), TKvPasswordRecipe{});
  EXPECT_EQ(session.Recipe(u"https://two.example/a", u""), TKvPasswordRecipe{});
  session.Save(std::nullopt);
  EXPECT_EQ(Records(), Mark + kept +
                           "1:{\"url\":\"https://one.example\",\"login\":\"Bob\",\"last\":1}\r\n"
                           "2:{\"lastLogin\":\"x\",\"url\":\"https://two.example/a\"}\r\n");
  EXPECT_EQ(ReadFile(folder / "urls.db"),
            Mark + "1:https://one.example\r\n2:https://two.example/a\r\n");
}

TEST_F(SiteRecordsTest, RefusedRulesAndVersionsChangeNothing) {
  WriteLists();
  const struct {
    const char *What;
    std::u16string Rules;
    int32_t Version;
  } rows[] = {
      {"an unknown property", u"minlen: 8;", 2},
      {"rules no password meets", u"minlength: 9; maxlength: 8;", 2},
      {"version 0", u"", 0},
      {"a negative version", u"", -3},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.What);
    TKvSiteSession session = Opened();
    EXPECT_THROW(row.Rules.empty() ? session.SetVersion(u"https://new.example", u"bob", row.Version)
                                   : session.SetRules(u"https://new.example", row.Rules, u""),
                 EKvError);
    EXPECT_EQ(session.Sites().size(), 2u);
    EXPECT_EQ(session.Recipe(u"https://new.example", u"bob"), TKvPasswordRecipe{});
    session.Save(std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(folder / "records.db"));
  }
}

TEST_F(SiteRecordsTest, DeletingASiteDeletesItsRecordsAndAMoveKeepsThem) {
  WriteLists();
  const std::string others = "2:{\"url\":\"https://two.example/a\",\"rules\":\"minlength: 8;\"}\r\n"
                             "1:{\"url\":\"https://old.example\",\"login\":\"\",\"version\":2}\r\n";
  const std::string records =
      Mark + "1:{\"url\":\"https://one.example\",\"rules\":\"minlength: 8;\"}\r\n" + others +
      "1:{\"url\":\"https://one.example\",\"login\":\"Bob\",\"version\":2}\r\n";
  WriteFile(folder / "records.db", records);
  {
    TKvSiteSession moved = Opened();
    moved.MoveSite({1, 0});
    moved.Save(std::nullopt);
  }
  EXPECT_EQ(Records(), records);
  EXPECT_EQ(ReadFile(folder / "urls.db"),
            Mark + "2:https://two.example/a\r\n1:https://one.example\r\n");

  TKvSiteSession session = Opened();
  EXPECT_EQ(session.Recipe(u"https://one.example", u"Bob"),
            (TKvPasswordRecipe{u"minlength: 8;", u"", 2}));
  session.Choose(1);
  ASSERT_TRUE(session.DeleteSite(u"https://one.example"));
  // The same URL again is a new site, with none of the deleted one's records.
  session.RecordGenerated(u"https://one.example", u"Bob");
  EXPECT_EQ(session.Recipe(u"https://one.example", u"Bob"), TKvPasswordRecipe{});
  session.Save(std::nullopt);
  EXPECT_EQ(Records(),
            Mark + others + "3:{\"url\":\"https://one.example\",\"last-login\":\"Bob\"}\r\n");
}

// Generate records the login it was given as the site's last one, the empty login too, for the
// site whose password it was: the chosen site in view or a new one, never a site the user did
// not choose. Choosing the site gives it back in a later session.
TEST_F(SiteRecordsTest, GenerateRecordsTheLastLoginThatChoosingTheSiteGivesBack) {
  WriteLists();
  {
    TKvSiteSession session = Opened();
    session.RecordGenerated(u"https://one.example", u"Bob"); // not chosen: not its last login
    EXPECT_EQ(session.Choose(0).LastLogin, std::nullopt);
    session.Choose(1);
    session.RecordGenerated(u"https://two.example/a", u"");
    session.RecordGenerated(u"https://three.example", u"dave");
    session.Save(std::nullopt);
  }
  EXPECT_EQ(Records(), Mark + "2:{\"url\":\"https://two.example/a\",\"last-login\":\"\"}\r\n"
                              "3:{\"url\":\"https://three.example\",\"last-login\":\"dave\"}\r\n");
  TKvSiteSession session = Opened();
  const struct {
    int32_t Choose;
    std::optional<std::u16string> LastLogin;
  } rows[] = {{0, std::nullopt}, {1, u""}, {2, u"dave"}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Choose);
    EXPECT_EQ(session.Choose(row.Choose).LastLogin, row.LastLogin);
  }
  // A rule set later keeps the last login beside it, and removing the rule keeps it too.
  session.SetRules(u"https://three.example", u"minlength: 8;", u"");
  session.SetRules(u"https://three.example", u"", u"");
  EXPECT_EQ(session.Choose(2).LastLogin, u"dave");
}

// A closing cut short after urls.db was written without a deleted site, and before records.db was:
// the site's records are left behind, and the same URL added again must not take them over.
TEST_F(SiteRecordsTest, ANewSiteNeverTakesAnIndexTheRecordsStillName) {
  WriteLists();
  WriteFile(folder / "records.db",
            Mark + "3:{\"url\":\"https://three.example\",\"rules\":\"minlength: 8;\"}\r\n");
  TKvSiteSession session = Opened();
  session.RecordGenerated(u"https://three.example", u"");
  EXPECT_EQ(session.Recipe(u"https://three.example", u""), TKvPasswordRecipe{});
  session.Save(std::nullopt);
  EXPECT_EQ(ReadFile(folder / "urls.db"), Mark +
                                              "1:https://one.example\r\n2:https://two.example/a\r\n"
                                              "4:https://three.example\r\n");
}

// The closing of a window that changed nothing leaves the folder as it found it, records.db
// included: an earlier version's folder gets no records.db, and one that exists is not rewritten,
// however it is written.
TEST_F(SiteRecordsTest, AFolderWhoseRecordsDidNotChangeKeepsEveryByte) {
  const struct {
    const char *What;
    std::optional<std::string> Records; // none: no records.db
  } rows[] = {
      {"an earlier version's folder", std::nullopt},
      {"records without a mark, with LF", std::string("1:{\"url\":\"https://one.example\", "
                                                      "\"rules\": \"minlength: 8;\"}\n")},
      {"UTF-16 with malformed lines", std::string("\xFF\xFE"
                                                  "1\0:\0{\0}\0\r\0\n\0x\0",
                                                  16)},
      {"bytes that are no text", Mark + "1:{\"url\":\"https://one.example\xFF\"}\r\n"},
      {"an empty file", std::string()},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.What);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directory(folder);
    WriteLists();
    if (row.Records)
      WriteFile(folder / "records.db", *row.Records);
    const auto before = FolderBytes();
    TKvSiteSession session = Opened();
    session.Choose(0);
    session.Recipe(u"https://one.example", u"alice");
    // A change undone is no change.
    session.SetVersion(u"https://one.example", u"alice", 2);
    session.SetVersion(u"https://one.example", u"alice", 1);
    session.Save(TKvWindowPosition{7, 9});
    session.Save(std::nullopt);
    EXPECT_EQ(FolderBytes(), before);
    EXPECT_TRUE(session.TakeNotices().empty());
  }
}

TEST_F(SiteRecordsTest, RecordsThatAreNoTextAreKeptAsACopyBeforeTheFileIsWritten) {
  WriteLists();
  const std::string damaged = Mark + "1:{\"url\":\"https://one.example\xFF\"}\r\n";
  WriteFile(folder / "records.db", damaged);
  TKvSiteSession session = Opened();
  session.SetVersion(u"https://one.example", u"alice", 2);
  session.Save(std::nullopt);
  EXPECT_EQ(ReadFile(folder / "records.db.invalid-text.bak"), damaged);
  EXPECT_EQ(Records(), Mark +
                           "1:{\"url\":\"https://one.example\xEF\xBF\xBD\"}\r\n"
                           "1:{\"url\":\"https://one.example\",\"login\":\"alice\",\"version\":2}"
                           "\r\n");
  const std::vector<std::u16string> notices = session.TakeNotices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find(u"records.db.invalid-text.bak"), std::u16string::npos);
  // Once: the next change writes over the file already written with U+FFFD.
  session.SetVersion(u"https://one.example", u"alice", 3);
  session.Save(std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(folder / "records.db.invalid-text.bak.1"));
}

TEST_F(SiteRecordsTest, RecordsThatCannotBeReadStayAndNoneIsChangedMeanwhile) {
  WriteLists();
  std::filesystem::create_directory(folder / "records.db"); // read as a file, which fails
  TKvSiteSession session = Session();
  try {
    session.Open();
    ADD_FAILURE() << "the read error is raised";
  } catch (const EKvError &error) {
    EXPECT_NE(error.Message().find(u"records.db"), std::u16string::npos);
    EXPECT_NE(error.Message().find(u"gives another password"), std::u16string::npos)
        << Utf16ToUtf8(error.Message());
  }
  ASSERT_EQ(session.Sites().size(), 2u) << "the sites are there";
  // What would be recorded now could not be kept, nor the passwords it gave.
  EXPECT_THROW(session.SetRules(u"https://one.example", Rule8, u""), EKvError);
  EXPECT_THROW(session.SetVersion(u"https://new.example", u"bob", 2), EKvError);
  EXPECT_EQ(session.Sites().size(), 2u);
  session.RecordGenerated(u"https://new.example", u"bob");
  session.Choose(0);
  EXPECT_TRUE(session.DeleteSite(u"https://one.example"));
  session.Save(std::nullopt);
  EXPECT_TRUE(std::filesystem::is_directory(folder / "records.db"));
  EXPECT_EQ(ReadFile(folder / "urls.db"),
            Mark + "2:https://two.example/a\r\n3:https://new.example\r\n");
}

TEST_F(SiteRecordsTest, NothingIsRecordedWhileTheListsCannotBeRead) {
  WriteLists();
  std::filesystem::remove(folder / "urls.db");
  std::filesystem::create_directory(folder / "urls.db");
  TKvSiteSession session = Session();
  EXPECT_THROW(session.Open(), EKvError);
  session.RecordGenerated(u"https://new.example", u"");
  // Its index is one of the ".new" files, which it loses when they join the lists.
  EXPECT_THROW(session.SetRules(u"https://new.example", Rule8, u""), EKvError);
  EXPECT_THROW(session.SetVersion(u"https://other.example", u"", 2), EKvError);
  EXPECT_EQ(session.Sites().size(), 1u);
  session.Save(std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(folder / "records.db"));
}

} // namespace
