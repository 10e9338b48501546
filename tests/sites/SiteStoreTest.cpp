// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/SiteStore.h"

#include "common/Unicode.h"
#include "sites/CodePage.h"
#include "support/TempFolder.h"

#include <string>
#include <vector>

namespace {

TEST(SchemeAndHostURL, IsWhatAButtonGaveWhenItHeldOnlySchemeAndHost) {
  const struct {
    std::u16string URL, Given;
  } rows[] = {
      {u"https://www.example.org/login", u"https://www.example.org"},
      {u"https://user:pw@two.example:8443/a?b=c#d", u"https://two.example"},
      {u"  FTP://Host.Example/  ", u"FTP://Host.Example"},
      {u"ftp://host.example", u"ftp://host.example"},
      {u"ftp://", u"ftp://"},
      {u"host.example", u"http://"},
      // A host that holds ":" splits back to itself only in brackets.
      {u"https://[::1]:8080/admin", u"https://[::1]"},
      {u"https://[fe80::1%25eth0]/", u"https://[fe80::1%25eth0]"},
      // A host that neither form gives back keeps the URL as it is.
      {u"http://a@[u@x/y]/", u"http://a@[u@x/y]/"},
      // So does a URL that does not split at all.
      {u"http://host.example:80a/", u"http://host.example:80a/"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(Utf16ToUtf8(row.URL));
    EXPECT_EQ(Utf16ToUtf8(SchemeAndHostURL(row.URL)), Utf16ToUtf8(row.Given));
  }
}

class SiteStoreTest : public TempFolderTest {
protected:
  TKvSiteStore Store() { return TKvSiteStore(U(folder / "urls.db"), U(folder / "logins.db")); }
  static std::vector<std::u16string> URLsOf(const std::vector<TKvSite> &sites) {
    std::vector<std::u16string> urls;
    urls.reserve(sites.size());
    for (const TKvSite &site : sites)
      urls.push_back(site.URL);
    return urls;
  }
};

TEST_F(SiteStoreTest, UntilTypedLinesAreRecordedANewSiteIsListedAsItsButtonWillGiveIt) {
  WriteFile(folder / "urls.db", "1:https://one.example/a\r\n");
  for (const bool rewrite : {true, false}) {
    SCOPED_TRACE(rewrite);
    TKvSiteStore store = Store();
    store.Load(rewrite);
    EXPECT_EQ(store.LinesRewritten(), rewrite);
    EXPECT_EQ(
        URLsOf(store.Sites()),
        std::vector<std::u16string>{rewrite ? u"https://one.example" : u"https://one.example/a"});
    const TKvSite added = store.AddSite(u"https://[::1]:8080/admin");
    EXPECT_EQ(added.Index, 2);
    EXPECT_EQ(added.URL, u"https://[::1]:8080/admin"); // the button holds it as typed
    EXPECT_EQ(added.Host, u"::1");
    EXPECT_EQ(store.URLs().Get(1), rewrite ? u"2:https://[::1]" : u"2:https://[::1]:8080/admin");
  }
}

// A closing cut short between the two lists leaves a deleted site's logins behind; a new site must
// never take them over, whichever list still holds its index.
TEST_F(SiteStoreTest, ANewSiteTakesAnIndexNeitherListHasHeld) {
  const struct {
    const char *Name;
    std::string URLs, Logins;
    int DeletedPosition; // the site deleted before the new one is added, or -1
    int32_t Index;
  } rows[] = {
      {"both lists agree", "1:https://a.example\r\n2:https://b.example\r\n", "2:bob\r\n", -1, 3},
      {"logins of a site deleted before", "1:https://a.example\r\n", "1:ann\r\n7:ghost\r\n", -1, 8},
      {"the largest site deleted in this session", "1:https://a.example\r\n3:https://c.example\r\n",
       "3:cat\r\n", 1, 4},
      {"a login line without an index", "1:https://a.example\r\n", "x:y\r\n:z\r\n", -1, 2},
      {"no logins.db", "5:https://a.example\r\n", "", -1, 6},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Name);
    WriteFile(folder / "urls.db", row.URLs);
    std::filesystem::remove(folder / "logins.db");
    if (!row.Logins.empty())
      WriteFile(folder / "logins.db", row.Logins);
    TKvSiteStore store = Store();
    store.Load(false);
    if (row.DeletedPosition >= 0)
      store.RemoveSite(store.Sites()[std::size_t(row.DeletedPosition)].Id);
    const TKvSite added = store.AddSite(u"https://new.example");
    EXPECT_EQ(added.Index, row.Index);
    // The next one follows it, also when it is deleted again at once.
    store.RemoveSite(added.Id);
    EXPECT_EQ(store.AddSite(u"https://next.example").Index, row.Index + 1);
    EXPECT_EQ(store.Logins().LoginsByIndex(row.Index + 1)->Count(), 0);
  }
}

TEST_F(SiteStoreTest, OnlyWhatChangedIsWrittenAndOnlyWhenAsked) {
  // Bytes that are no text behind the mark would come back as U+FFFD: a list nobody edited keeps
  // them, whatever else is written.
  const std::string urls = std::string("\xEF\xBB\xBF") + "1:https://one.example/\xFF\r\n";
  WriteFile(folder / "urls.db", urls);
  WriteFile(folder / "logins.db", "1:ann\r\n");
  TKvSiteStore store = Store();
  store.Load(false);
  store.AddLogin(1, u"bob");
  store.AddLogin(1, u"bob"); // recorded once
  store.AddLogin(1, u"Bob"); // another password, so another login
  EXPECT_EQ(ReadFile(folder / "logins.db"), "1:ann\r\n");
  store.Save();
  EXPECT_EQ(ReadFile(folder / "urls.db"), urls);
  EXPECT_EQ(ReadFile(folder / "logins.db"), AnsiListMark() + "1:ann\r\n1:bob\r\n1:Bob\r\n");
  EXPECT_TRUE(store.TakeNotices().empty());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);
}

TEST_F(SiteStoreTest, CopiesKeptAsideTakeTheFirstFreeNameAndAreNeverReplaced) {
  const std::string urls = std::string("\xEF\xBB\xBF") + "1:https://one.example/\xFF\r\n";
  WriteFile(folder / "urls.db.invalid-text.bak", "first\r\n");
  for (const char *kept : {"urls.db.invalid-text.bak.1", "urls.db.invalid-text.bak.2"}) {
    SCOPED_TRACE(kept);
    WriteFile(folder / "urls.db", urls);
    TKvSiteStore store = Store();
    store.Load(false);
    store.AddSite(u"https://two.example");
    store.Save();
    EXPECT_EQ(ReadFile(folder / kept), urls);
    const std::vector<std::u16string> notices = store.TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find(U(folder / kept)), std::u16string::npos);
    // Written once: a second save of the same session keeps no second copy.
    store.AddSite(u"https://three.example");
    store.Save();
    EXPECT_TRUE(store.TakeNotices().empty());
  }
  EXPECT_EQ(ReadFile(folder / "urls.db.invalid-text.bak"), "first\r\n");
  EXPECT_FALSE(std::filesystem::exists(folder / "urls.db.invalid-text.bak.3"));
}

// Sites kept aside while the lists could not be read join them once; a merge that cannot finish
// keeps the kept files, and every button still stands for its own line.
TEST_F(SiteStoreTest, SitesKeptAsideJoinTheListsOnceAndStayWhenTheyCannot) {
  const struct {
    const char *Name;
    std::string URLs;
    std::vector<std::u16string> Lines; // of urls.db after the save
    bool NewFilesStay;
  } rows[] = {
      {"merged",
       "1:https://a.example\r\n",
       {u"1:https://a.example", u"2:https://b.example/x", u"3:https://c.example"},
       false},
      {"one of them listed already",
       "4:https://b.example/x\r\n",
       {u"4:https://b.example/x", u"5:https://c.example"},
       false},
      {"no index left",
       "2147483647:https://a.example\r\n",
       {u"2147483647:https://a.example"},
       true},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Name);
    WriteFile(folder / "urls.db", row.URLs);
    WriteFile(folder / "urls.db.new", "1:https://b.example/x\r\n2:https://c.example\r\n");
    WriteFile(folder / "logins.db.new", "1:bob\r\n");
    TKvSiteStore store = Store();
    store.Load(false);
    ASSERT_EQ(store.Sites().size(), row.Lines.size());
    store.Save();
    std::vector<std::u16string> lines;
    lines.reserve(std::size_t(store.URLs().Count()));
    for (int32_t i = 0; i < store.URLs().Count(); ++i)
      lines.push_back(store.URLs().Get(i));
    EXPECT_EQ(lines, row.Lines);
    EXPECT_EQ(std::filesystem::exists(folder / "urls.db.new"), row.NewFilesStay);
    EXPECT_EQ(store.TakeNotices().size(), 1u);
    // A new site after them stands for a line of its own.
    if (!row.NewFilesStay) {
      const TKvSite added = store.AddSite(u"https://d.example");
      store.RemoveSite(store.Sites().front().Id);
      EXPECT_EQ(store.URLs().Get(store.URLs().Count() - 1),
                IndexPrefix(added.Index) + u"https://d.example");
    }
  }
}

} // namespace
