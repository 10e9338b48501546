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
  for (const bool typed : {false, true}) {
    SCOPED_TRACE(typed);
    TKvSiteStore store = Store();
    const std::vector<TKvSite> sites = store.Load(typed);
    EXPECT_EQ(store.LinesRewritten(), !typed);
    EXPECT_EQ(URLsOf(sites), std::vector<std::u16string>{typed ? u"https://one.example/a"
                                                               : u"https://one.example"});
    const TKvSite added = store.AddSite(u"https://[::1]:8080/admin");
    EXPECT_EQ(added.Index, 2);
    EXPECT_EQ(added.URL, u"https://[::1]:8080/admin"); // the button holds it as typed
    EXPECT_EQ(added.Host, u"::1");
    EXPECT_EQ(store.URLs().Get(1), typed ? u"2:https://[::1]:8080/admin" : u"2:https://[::1]");
  }
}

// A closing cut short between the two lists leaves a deleted site's logins behind; a new site must
// never take them over, whichever list still holds its index.
TEST_F(SiteStoreTest, ANewSiteTakesAnIndexNeitherListHasHeld) {
  const struct {
    const char *Name;
    std::string URLs, Logins;
    int DeletedPosition; // the button deleted before the site is added, or -1
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
    store.Load(true);
    if (row.DeletedPosition >= 0)
      store.RemoveSite(row.DeletedPosition);
    const TKvSite added = store.AddSite(u"https://new.example");
    EXPECT_EQ(added.Index, row.Index);
    // The next one follows it, also when it is deleted again at once.
    store.RemoveSite(int(store.URLs().Count()) - 1);
    EXPECT_EQ(store.AddSite(u"https://next.example").Index, row.Index + 1);
    EXPECT_EQ(store.Logins().LoginsByIndex(row.Index + 1)->Count(), 0);
  }
}

TEST_F(SiteStoreTest, FilesAreWrittenOnlyWhenAsked) {
  WriteFile(folder / "urls.db", "1:https://one.example/a\r\n");
  WriteFile(folder / "logins.db", "1:ann\r\n");
  TKvSiteStore store = Store();
  store.Load(false);
  store.Logins().AddLogin(1, u"bob");
  EXPECT_EQ(ReadFile(folder / "urls.db"), "1:https://one.example/a\r\n");
  store.SaveURLs();
  EXPECT_EQ(ReadFile(folder / "urls.db"), AnsiListMark() + "1:https://one.example\r\n");
  EXPECT_EQ(ReadFile(folder / "logins.db"), "1:ann\r\n");
  store.SaveLogins();
  EXPECT_EQ(ReadFile(folder / "logins.db"), AnsiListMark() + "1:ann\r\n1:bob\r\n");
}

} // namespace
