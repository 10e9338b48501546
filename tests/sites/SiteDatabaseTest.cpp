// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/SiteDatabase.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "sites/CodePage.h"
#include "support/TempFolder.h"

#include <functional>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::u16string>;

template <typename List> Lines LinesOf(const List &list) {
  Lines lines;
  for (int32_t i = 0; i < list.Count(); ++i)
    lines.push_back(list.Get(i));
  return lines;
}

template <typename List> void Fill(List &list, const Lines &lines) {
  for (const auto &line : lines)
    list.Add(line);
}

void ExpectError(const std::function<void()> &action, const std::u16string &message) {
  try {
    action();
    ADD_FAILURE() << "no error";
  } catch (const EKvError &e) {
    EXPECT_EQ(Utf16ToUtf8(e.Message()), Utf16ToUtf8(message));
  }
}

TEST(SiteList, GivesOutIndexesAndReusesOnlyTheLargest) {
  TKvURLs urls;
  EXPECT_TRUE(urls.GetIndexes().empty());
  EXPECT_EQ(urls.AddURL(u"ftp://a.example"), 1);
  EXPECT_EQ(urls.AddURL(u"ftp://b.example"), 2);
  EXPECT_EQ(urls.AddURL(u"ftp://c.example"), 3);
  urls.RemoveURL(3);
  EXPECT_EQ(urls.AddURL(u"ftp://d.example"), 3);
  urls.RemoveURL(2);
  EXPECT_EQ(urls.AddURL(u"ftp://e.example"), 4);
  EXPECT_EQ(LinesOf(urls),
            (Lines{u"1:ftp://a.example", u"3:ftp://d.example", u"4:ftp://e.example"}));
  EXPECT_EQ(urls.GetIndexes(), (IntegerArray{1, 3, 4}));

  // Negative indexes never count as the largest.
  TKvURLs negative;
  negative.AddURL(-7, u"x");
  EXPECT_EQ(negative.AddURL(u"y"), 1);
  EXPECT_EQ(negative.GetURL(-7), u"x");
}

TEST(SiteList, PrefixIsExactWhileGetIndexesIsLenient) {
  // Each of these lines reads as index 1, but none begins with the prefix "1:".
  for (const std::u16string_view line : {u"01:ftp://x", u" 1:ftp://x", u"+1:ftp://x", u"$1:ftp://x",
                                         u"0x1:ftp://x", u"11:ftp://x"}) {
    SCOPED_TRACE(Utf16ToUtf8(line));
    TKvURLs urls;
    urls.Add(line);
    EXPECT_EQ(urls.GetIndexes().size(), 1u);
    EXPECT_EQ(urls.GetURL(1), u"");
    urls.RemoveURL(1);
    EXPECT_EQ(urls.Count(), 1);

    TKvLogins logins;
    logins.Add(line);
    EXPECT_EQ(logins.LoginsByIndex(1)->Count(), 0);
    logins.DeleteByIndex(1);
    EXPECT_EQ(logins.Count(), 1);
  }
  TKvURLs urls;
  Fill(urls, {u"01:a", u" 1:b", u"+1:c", u"$1:d", u"0x1:e", u"11:f"});
  EXPECT_EQ(urls.GetIndexes(), (IntegerArray{1, 1, 1, 1, 1, 11}));
}

TEST(SiteList, DuplicateIndexesAndColonsInURLs) {
  TKvURLs urls;
  Fill(urls, {u"2:ftp://first.example:21/a:b", u"2:ftp://second.example", u"3:"});
  EXPECT_EQ(urls.GetIndexes(), (IntegerArray{2, 2, 3}));
  EXPECT_EQ(urls.GetURL(2), u"ftp://first.example:21/a:b");
  EXPECT_EQ(urls.GetURL(3), u"");
  EXPECT_EQ(urls.GetURL(4), u"");
  urls.RemoveURL(2);
  EXPECT_EQ(LinesOf(urls), (Lines{u"2:ftp://second.example", u"3:"}));
  urls.RemoveURL(4);
  EXPECT_EQ(urls.Count(), 2);
}

TEST(SiteList, MalformedLineStopsGetIndexesButCostsAddURLNothing) {
  const struct {
    std::u16string Line, Text;
  } rows[] = {
      {u"", u""},         {u"no colon", u""}, {u"5", u""},
      {u"abc:x", u"abc"}, {u":x", u""},       {u"2147483648:x", u"2147483648"},
      {u"1 :x", u"1 "},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(Utf16ToUtf8(row.Line));
    TKvURLs urls;
    Fill(urls, {u"1:ftp://a.example", row.Line});
    const std::u16string message = u"''" + row.Text + u"'' is not a valid integer value";
    ExpectError([&] { urls.GetIndexes(); }, message);
    EXPECT_EQ(SiteIndexOf(row.Line), std::nullopt);
    // The new site takes the next index after the good lines; the bad line stays where it was.
    EXPECT_EQ(urls.AddURL(u"ftp://b.example"), 2);
    EXPECT_EQ(LinesOf(urls), (Lines{u"1:ftp://a.example", row.Line, u"2:ftp://b.example"}));
  }
}

TEST(SiteList, LargestIndexLeavesNoFreeIndex) {
  TKvURLs urls;
  urls.AddURL(2147483647, u"ftp://last.example");
  ExpectError([&] { urls.AddURL(u"ftp://next.example"); }, u"No free site index");
  EXPECT_EQ(LinesOf(urls), Lines{u"2147483647:ftp://last.example"});
  // So does the largest index held elsewhere (the login list).
  TKvURLs empty;
  ExpectError([&] { empty.AddURL(u"ftp://next.example", 2147483647); }, u"No free site index");
  EXPECT_EQ(empty.Count(), 0);
  EXPECT_EQ(empty.AddURL(u"ftp://next.example", 41), 42);
  // An index given explicitly is taken as it is.
  urls.AddURL(INT32_MIN, u"ftp://first.example");
  EXPECT_EQ(urls.GetURL(INT32_MIN), u"ftp://first.example");
}

TEST(SiteList, RefusesLineBreaksInURLsAndLogins) {
  TKvURLs urls;
  TKvLogins logins;
  const std::u16string message = u"A line cannot contain a line break or a null character";
  ExpectError([&] { urls.AddURL(u"ftp://a\r\n2:ftp://b"); }, message);
  ExpectError([&] { urls.AddURL(5, std::u16string(u"a\0b", 3)); }, message);
  ExpectError([&] { logins.AddLogin(1, u"ann\nbob"); }, message);
  EXPECT_EQ(urls.Count(), 0);
  EXPECT_EQ(logins.Count(), 0);
}

TEST(LoginList, RecordsFindsAndDeletesByIndex) {
  TKvLogins logins;
  EXPECT_EQ(logins.AddLogin(2, u"ann"), 0);
  EXPECT_EQ(logins.AddLogin(5, u"bob"), 1);
  EXPECT_EQ(logins.AddLogin(2, u"c:d@e"), 2);
  EXPECT_EQ(logins.AddLogin(2, u"ann"), 3); // equal lines are never refused
  EXPECT_EQ(logins.AddLogin(22, u"zed"), 4);
  EXPECT_EQ(logins.AddLogin(2, u""), 5);

  EXPECT_EQ(LinesOf(*logins.LoginsByIndex(2)), (Lines{u"ann", u"c:d@e", u"ann", u""}));
  EXPECT_EQ(LinesOf(*logins.LoginsByIndex(5)), Lines{u"bob"});
  const auto none = logins.LoginsByIndex(7);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->Count(), 0);
  EXPECT_EQ(logins.IndexOf(u"2:ANN"), 0);

  logins.DeleteByIndex(2);
  EXPECT_EQ(LinesOf(logins), (Lines{u"5:bob", u"22:zed"}));
  logins.DeleteByIndex(9);
  EXPECT_EQ(logins.Count(), 2);
}

TEST(LoginList, DeleteByIndexRemovesEveryLineOfTheIndex) {
  TKvLogins logins;
  Fill(logins, {u"2:a", u"5:b", u"2:c", u"2:d"});
  logins.DeleteByIndex(2);
  EXPECT_EQ(LinesOf(logins), Lines{u"5:b"});
}

using SiteFiles = TempFolderTest;

TEST_F(SiteFiles, RebuiltListIsWrittenInButtonOrder) {
  TKvURLs urls;
  TKvLogins logins;
  EXPECT_EQ(urls.AddURL(u"ftp://host.example"), 1);
  EXPECT_EQ(urls.AddURL(u"ftp://shop.example"), 2);
  urls.RemoveURL(2);
  EXPECT_EQ(urls.AddURL(u"ftp://shop.example"), 2);
  logins.AddLogin(1, u"anna");
  logins.AddLogin(2, u"anna");
  logins.AddLogin(2, u"ben");
  // Lines that no prefix matches are harmless in the login list and kept as they are.
  logins.Add(u"abc:x");
  logins.Add(u"");

  // The buttons were dragged: site 2 first.
  urls.Clear();
  urls.AddURL(2, u"ftp://shop.example");
  urls.AddURL(1, u"ftp://host.example");

  const auto urlsPath = (folder / "urls.db").u16string();
  const auto loginsPath = (folder / "logins.db").u16string();
  urls.SaveToFile(urlsPath);
  logins.SaveToFile(loginsPath);
  // New lists are in the ANSI code page.
  EXPECT_EQ(ReadFile(folder / "urls.db"),
            AnsiListMark() + "2:ftp://shop.example\r\n1:ftp://host.example\r\n");
  EXPECT_EQ(ReadFile(folder / "logins.db"),
            AnsiListMark() + "1:anna\r\n2:anna\r\n2:ben\r\nabc:x\r\n\r\n");

  TKvURLs urlsAgain;
  TKvLogins loginsAgain;
  urlsAgain.LoadFromFile(urlsPath);
  loginsAgain.LoadFromFile(loginsPath);
  EXPECT_EQ(urlsAgain.GetIndexes(), (IntegerArray{2, 1}));
  EXPECT_EQ(urlsAgain.GetURL(1), u"ftp://host.example");
  EXPECT_EQ(LinesOf(*loginsAgain.LoginsByIndex(2)), (Lines{u"anna", u"ben"}));
  EXPECT_EQ(LinesOf(loginsAgain), LinesOf(logins));
}

} // namespace
