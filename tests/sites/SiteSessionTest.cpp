// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's rules for sites and logins, on real files: what the window's actions do to the
// lists, and what its opening and closing do to the files.
#include "sites/SiteSession.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "sites/CodePage.h"
#include "support/TempFolder.h"

#include <optional>
#include <string>
#include <vector>

namespace {

using TLines = std::vector<std::u16string>;

class SiteSessionTest : public TempFolderTest {
protected:
  std::u16string Config() const { return U(folder / "config.ini"); }
  TKvSiteSession Session() const {
    return TKvSiteSession(U(folder / "urls.db"), U(folder / "logins.db"), Config(),
                          U(folder / "records.db"));
  }
  // An opened session on two sites, logins alice and bob for the first.
  TKvSiteSession OpenStored() {
    WriteFile(folder / "urls.db", "1:https://one.example\r\n2:https://two.example\r\n");
    WriteFile(folder / "logins.db", "1:alice\r\n1:bob\r\n");
    WriteFile(folder / "config.ini", "[Sites]\r\nLines=typed\r\n");
    TKvSiteSession session = Session();
    session.Open();
    return session;
  }
  static TLines Lines(const TKvStringList &list) {
    TLines lines;
    for (int32_t i = 0; i < list.Count(); ++i)
      lines.push_back(list.Get(i));
    return lines;
  }
  static TLines Plus(TLines lines, const TLines &more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
  }

  const TLines StoredURLs = {u"1:https://one.example", u"2:https://two.example"};
  const TLines StoredLogins = {u"1:alice", u"1:bob"};
};

TEST_F(SiteSessionTest, GenerateListsANewURLAndRecordsALoginOnlyForTheRememberedSiteInView) {
  const struct {
    const char *What;
    int32_t Choose; // -1: none
    std::u16string URL, Login;
    TLines NewURLs, NewLogins;
  } rows[] = {
      {"a known URL, no site chosen", -1, u"https://two.example", u"carol", {}, {}},
      {"the chosen site's URL", 1, u"https://two.example", u"carol", {}, {u"2:carol"}},
      {"another site's URL after a choice", 0, u"https://two.example", u"carol", {}, {}},
      {"the chosen URL in another case: a new site",
       0,
       u"HTTPS://one.example",
       u"carol",
       {u"3:HTTPS://one.example"},
       {u"3:carol"}},
      {"an empty login", 1, u"https://two.example", u"", {}, {}},
      {"a new site without a login",
       -1,
       u"https://new.example/x",
       u"",
       {u"3:https://new.example/x"},
       {}},
      {"a login recorded already", 0, u"https://one.example", u"alice", {}, {}},
      {"a login in another case", 0, u"https://one.example", u"Alice", {}, {u"1:Alice"}},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.What);
    TKvSiteSession session = OpenStored();
    if (row.Choose >= 0)
      session.Choose(row.Choose);
    session.RecordGenerated(row.URL, row.Login);
    EXPECT_EQ(Lines(session.URLs()), Plus(StoredURLs, row.NewURLs));
    EXPECT_EQ(Lines(session.Logins()), Plus(StoredLogins, row.NewLogins));
    EXPECT_EQ(session.Sites().size(), 2 + row.NewURLs.size());
    EXPECT_EQ(session.Sites().back().URL, row.NewURLs.empty() ? u"https://two.example" : row.URL);
    EXPECT_EQ(session.Remembered(), row.Choose) << "a new site is not the remembered one";
  }
}

TEST_F(SiteSessionTest, ChoosingASiteGivesItsURLAndLoginsAndItStaysChosenWhereverItMoves) {
  TKvSiteSession chosen = OpenStored();
  EXPECT_EQ(chosen.Remembered(), -1);
  const TKvSiteChoice choice = chosen.Choose(0);
  EXPECT_EQ(choice.URL, u"https://one.example");
  EXPECT_EQ(choice.Logins, (TLines{u"alice", u"bob"}));
  EXPECT_TRUE(chosen.Choose(1).Logins.empty());
  EXPECT_EQ(chosen.Remembered(), 1);

  const TLines one0to3 = {u"2:https://two.example", u"3:https://three.example",
                          u"1:https://one.example"};
  const TLines three2to0 = {u"3:https://three.example", u"1:https://one.example",
                            u"2:https://two.example"};
  const TLines unmoved = {u"1:https://one.example", u"2:https://two.example",
                          u"3:https://three.example"};
  const struct {
    int32_t Choose;
    TKvListMove Move;
    int32_t RememberedAfter;
    TLines URLs;
  } rows[] = {
      {0, {0, 3}, 2, one0to3},   {1, {0, 3}, 0, one0to3},   {2, {0, 3}, 1, one0to3},
      {2, {2, 0}, 0, three2to0}, {0, {2, 0}, 1, three2to0}, {2, {0, 1}, 2, unmoved},
      {1, {0, 4}, 1, unmoved}, // beyond the end: nothing moves
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(testing::Message() << "chosen " << row.Choose << ", " << row.Move.From
                                    << " before " << row.Move.Before);
    TKvSiteSession session = OpenStored();
    session.RecordGenerated(u"https://three.example", u"");
    session.Choose(row.Choose);
    session.MoveSite(row.Move);
    EXPECT_EQ(session.Remembered(), row.RememberedAfter);
    EXPECT_EQ(Lines(session.URLs()), row.URLs);
    for (std::size_t i = 0; i < 3; ++i)
      EXPECT_EQ(IndexPrefix(session.Sites()[i].Index) + session.Sites()[i].URL, row.URLs[i]);
    EXPECT_EQ(Lines(session.Logins()), StoredLogins);
  }
}

TEST_F(SiteSessionTest, DeleteActsOnlyOnTheRememberedSiteWhileTheBoxHoldsItsURL) {
  const struct {
    const char *What;
    int32_t Choose; // -1: none
    std::u16string InView, Login;
    bool DeleteSite, Done;
    TLines URLs, Logins;
  } rows[] = {
      {"no site chosen", -1, u"https://one.example", u"", true, false, StoredURLs, StoredLogins},
      {"no site chosen", -1, u"https://one.example", u"bob", false, false, StoredURLs,
       StoredLogins},
      {"another site's URL", 1, u"https://one.example", u"", true, false, StoredURLs, StoredLogins},
      {"another site's URL", 1, u"https://one.example", u"bob", false, false, StoredURLs,
       StoredLogins},
      {"the box emptied", 0, u"", u"bob", false, false, StoredURLs, StoredLogins},
      {"the URL in another case", 0, u"HTTPS://one.example", u"", true, false, StoredURLs,
       StoredLogins},
      {"a login in another case", 0, u"https://one.example", u"BOB", false, false, StoredURLs,
       StoredLogins},
      {"the chosen site",
       0,
       u"https://one.example",
       u"",
       true,
       true,
       {u"2:https://two.example"},
       {}},
      {"the chosen site's login",
       0,
       u"https://one.example",
       u"bob",
       false,
       true,
       StoredURLs,
       {u"1:alice"}},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(testing::Message() << row.What << (row.DeleteSite ? ", site" : ", login"));
    TKvSiteSession session = OpenStored();
    if (row.Choose >= 0)
      session.Choose(row.Choose);
    EXPECT_EQ(row.DeleteSite ? session.DeleteSite(row.InView)
                             : session.DeleteLogin(row.InView, row.Login),
              row.Done);
    EXPECT_EQ(Lines(session.URLs()), row.URLs);
    EXPECT_EQ(Lines(session.Logins()), row.Logins);
    if (!row.DeleteSite || !row.Done)
      continue;
    // Forgotten: nothing more is deleted, and a new site is no button of the deleted one.
    EXPECT_EQ(session.Remembered(), -1);
    EXPECT_FALSE(session.DeleteSite(u"https://two.example"));
    session.RecordGenerated(u"https://one.example", u"dave");
    EXPECT_EQ(Lines(session.Logins()), TLines{u"3:dave"});
  }
}

TEST_F(SiteSessionTest, OpeningTakesLinesAsTypedAndRewritesOldOnesOnlyWhereConfigIniSaysSo) {
  const struct {
    const char *What;
    std::optional<std::string> Config; // none: no config.ini
    std::u16string SiteURL;
    std::string URLsOnDisk;
  } rows[] = {
      {"typed lines", "[Sites]\r\nLines=typed\r\n", u"https://one.example/a",
       "1:https://one.example/a\r\n"},
      {"no config.ini", std::nullopt, u"https://one.example/a", "1:https://one.example/a\r\n"},
      {"config.ini without the mark", "[Window]\r\nTop=120\r\n", u"https://one.example",
       AnsiListMark() + "1:https://one.example\r\n"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.What);
    std::filesystem::remove(folder / "config.ini");
    std::filesystem::remove(folder / "urls.db.before-rewrite.bak");
    WriteFile(folder / "urls.db", "1:https://one.example/a\r\n");
    if (row.Config)
      WriteFile(folder / "config.ini", *row.Config);
    TKvSiteSession session = Session();
    session.Open();
    ASSERT_EQ(session.Sites().size(), 1u);
    EXPECT_EQ(session.Sites()[0].URL, row.SiteURL);
    // The rewrite is on disk before config.ini records that lines are typed from now on.
    EXPECT_EQ(ReadFile(folder / "urls.db"), row.URLsOnDisk);
    EXPECT_EQ(ReadSiteLines(Config()), TKvSiteLines::Typed);
    session.RecordGenerated(u"https://two.example/b", u"");
    EXPECT_EQ(session.URLs().Get(1), u"2:https://two.example/b");
  }
}

TEST_F(SiteSessionTest, ClosingWritesThePositionWhereItIsKeptAndTheListsThatChanged) {
  TKvSiteSession session = OpenStored();
  WriteFile(folder / "config.ini", "[Sites]\r\nLines=typed\r\n[Window]\r\nTop=120\r\nLeft=130\r\n");
  session.Save(std::nullopt);
  EXPECT_EQ(LoadWindowPosition(Config()).Top, 120);
  EXPECT_EQ(LoadWindowPosition(Config()).Left, 130);
  EXPECT_EQ(ReadFile(folder / "logins.db"), "1:alice\r\n1:bob\r\n") << "nothing changed";
  session.RecordGenerated(u"https://three.example", u"carol");
  session.Save(TKvWindowPosition{5, 6});
  EXPECT_EQ(LoadWindowPosition(Config()).Top, 5);
  EXPECT_EQ(LoadWindowPosition(Config()).Left, 6);
  EXPECT_EQ(ReadSiteLines(Config()), TKvSiteLines::Typed);
  TKvSiteSession again = Session();
  again.Open();
  ASSERT_EQ(again.Sites().size(), 3u);
  EXPECT_EQ(again.Choose(2).Logins, TLines{u"carol"});
  EXPECT_TRUE(again.TakeNotices().empty());
}

TEST_F(SiteSessionTest, ListsThatCannotBeReadStayAndWhatIsAddedIsKeptBesideThem) {
  std::filesystem::create_directory(folder / "urls.db"); // read as a list, which fails
  WriteFile(folder / "logins.db", "1:alice\r\n");
  TKvSiteSession session = Session();
  try {
    session.Open();
    ADD_FAILURE() << "the read error is raised";
  } catch (const EKvError &error) {
    EXPECT_NE(error.Message().find(u"The site list and the login list are left as they are"),
              std::u16string::npos)
        << Utf16ToUtf8(error.Message());
  }
  EXPECT_TRUE(session.Sites().empty());
  session.RecordGenerated(u"https://new.example", u"bob");
  ASSERT_EQ(session.Sites().size(), 1u);
  session.Save(std::nullopt);
  EXPECT_TRUE(std::filesystem::is_directory(folder / "urls.db"));
  EXPECT_EQ(ReadFile(folder / "logins.db"), "1:alice\r\n");
  EXPECT_TRUE(std::filesystem::exists(folder / "urls.db.new"));
  EXPECT_TRUE(std::filesystem::exists(folder / "logins.db.new"));

  // Readable again: what was kept aside joins the lists, and the user hears of it.
  std::filesystem::remove(folder / "urls.db");
  TKvSiteSession later = Session();
  later.Open();
  ASSERT_EQ(later.Sites().size(), 2u);
  EXPECT_EQ(later.Sites()[1].URL, u"https://new.example");
  EXPECT_EQ(later.Choose(1).Logins, TLines{u"bob"});
  EXPECT_EQ(later.TakeNotices().size(), 1u);
}

// What the row of buttons hears, with the sites as they stand when it hears it.
class TRecordingListener : public IKvSiteListener {
public:
  explicit TRecordingListener(const TKvSiteSession &session) : FSession(session) {}
  void SitesLoaded() override { Heard("loaded", -1); }
  void SiteAdded(int32_t position) override { Heard("added", position); }
  void SiteRemoving(int32_t position) override { Heard("removing", position); }
  void SiteRemoved(int32_t position) override { Heard("removed", position); }
  void SiteMoved(const TKvListMove &move) override { Heard("moved", move.From, move.Before); }

  std::vector<std::string> heard;

private:
  void Heard(const std::string &what, int32_t position, int32_t before = -1) {
    std::string line = what + " " + std::to_string(position);
    if (before >= 0)
      line += " before " + std::to_string(before);
    line += ":";
    for (const TKvSite &site : FSession.Sites())
      line += " " + Utf16ToUtf8(site.Host);
    heard.push_back(line);
  }
  const TKvSiteSession &FSession;
};

TEST_F(SiteSessionTest, TheRowHearsOfEveryChangeOfTheSitesAsItHappens) {
  WriteFile(folder / "urls.db", "1:https://one.example\r\n2:https://two.example\r\n");
  TKvSiteSession session = Session();
  TRecordingListener listener(session);
  session.SetListener(&listener);
  session.Open();
  session.RecordGenerated(u"https://three.example", u"");
  session.MoveSite({2, 0});
  session.MoveSite({1, 2}); // moves nothing
  session.Choose(1);
  session.DeleteSite(u"https://one.example");
  EXPECT_EQ(listener.heard,
            (std::vector<std::string>{"loaded -1: one.example two.example",
                                      "added 2: one.example two.example three.example",
                                      "moved 2 before 0: three.example one.example two.example",
                                      "removing 1: three.example one.example two.example",
                                      "removed 1: three.example two.example"}));
}

} // namespace
