// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/StringList.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "platform/FileSystem.h"
#include "sites/CodePage.h"
#include "support/Hex.h"
#include "support/TempFolder.h"

#include <optional>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using Lines = std::vector<std::u16string>;

ByteArray Bytes(const std::string &text) {
  return ByteArray(text.begin(), text.end());
}

Lines LinesOf(const TKvStringList &list) {
  Lines lines;
  for (int32_t i = 0; i < list.Count(); ++i)
    lines.push_back(list.Get(i));
  return lines;
}

std::string Printable(const Lines &lines) {
  std::string text;
  for (const auto &line : lines)
    text += "[" + Utf16ToUtf8(line) + "]";
  return text;
}

std::u16string PathText(const std::filesystem::path &path) {
  return path.u16string();
}

void ExpectError(const std::function<void()> &action, const std::u16string &message) {
  try {
    action();
    ADD_FAILURE() << "no error";
  } catch (const EKvError &e) {
    EXPECT_EQ(Utf16ToUtf8(e.Message()), Utf16ToUtf8(message));
  }
}

TEST(StringList, SplitsEveryFormOfLineEnd) {
  const struct {
    std::string File;
    Lines Expected;
  } rows[] = {
      {"a\r\nb\r\n", {u"a", u"b"}},
      {"a\nb\n", {u"a", u"b"}},
      {"a\rb\r", {u"a", u"b"}},
      {"a\r\nb", {u"a", u"b"}},
      {"a\n\rb", {u"a", u"", u"b"}},
      {"a\r\r\nb", {u"a", u"", u"b"}},
      {"a\r\n\r\n", {u"a", u""}},
      {"\r\n", {u""}},
      {"\n\n\r", {u"", u"", u""}},
      {"", {}},
      {"a", {u"a"}},
      // A NUL is dropped on its own; nothing after it is lost.
      {std::string("a\r\nb\0c\r\nd", 9), {u"a", u"bc", u"d"}},
      {std::string("\0a\r\n", 4), {u"a"}},
      {std::string("a\r\n\0", 4), {u"a"}},
      {std::string("a\r\n\0\r\nb", 7), {u"a", u"", u"b"}},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(ToHex(row.File));
    TKvStringList list;
    list.LoadFromBytes(Bytes(row.File));
    EXPECT_EQ(Printable(LinesOf(list)), Printable(row.Expected));

    // Written back, every line ends with CR LF, the last one included.
    std::string expected = AnsiListMark();
    for (const auto &line : row.Expected)
      expected += Utf16ToUtf8(line) + "\r\n";
    EXPECT_EQ(ToHex(list.SaveToBytes()), ToHex(expected));
  }
}

using StringListFile = TempFolderTest;

TEST_F(StringListFile, WritesBackInTheEncodingItWasReadIn) {
  // Lines "1:añ€𝄞" and "2:x" in each encoding, read from a file and saved to another. A file
  // without a mark is in the ANSI code page: where that is UTF-8 it is written back with the mark
  // (Saved); in a Windows code page every byte stands for one character and comes back as it was,
  // only the line ends become CR LF (SavedInCodePage).
  const struct {
    const char *Name;
    std::string File;
    TKvEncoding Encoding;
    std::string Saved; // empty: byte for byte the file read
    std::string SavedInCodePage = "";
  } rows[] = {
      {"UTF-8 with mark",
       "\xEF\xBB\xBF"
       "1:a\xC3\xB1\xE2\x82\xAC\xF0\x9D\x84\x9E\r\n2:x\r\n",
       TKvEncoding::Utf8, ""},
      {"UTF-16 little-endian",
       std::string("\xFF\xFE"
                   "1\0:\0a\0\xF1\0\xAC\x20\x34\xD8\x1E\xDD\r\0\n\0"
                   "2\0:\0x\0\r\0\n\0",
                   30),
       TKvEncoding::Utf16LE, ""},
      {"UTF-16 big-endian",
       std::string("\xFE\xFF"
                   "\0"
                   "1\0:\0a\0\xF1\x20\xAC\xD8\x34\xDD\x1E\0\r\0\n\0"
                   "2\0:\0x\0\r\0\n",
                   30),
       TKvEncoding::Utf16BE, ""},
      {"no mark, UTF-8", "1:a\xC3\xB1\xE2\x82\xAC\xF0\x9D\x84\x9E\r\n2:x\r\n", TKvEncoding::Ansi,
       "\xEF\xBB\xBF"
       "1:a\xC3\xB1\xE2\x82\xAC\xF0\x9D\x84\x9E\r\n2:x\r\n",
       "1:a\xC3\xB1\xE2\x82\xAC\xF0\x9D\x84\x9E\r\n2:x\r\n"},
      {"no mark, Windows-1252, lone LF", "1:a\xF1\x80\n2:x", TKvEncoding::Ansi,
       "\xEF\xBB\xBF"
       "1:a\xC3\xB1\xE2\x82\xAC\r\n2:x\r\n",
       "1:a\xF1\x80\r\n2:x\r\n"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Name);
    const auto source = folder / "in.db", target = folder / "out.db";
    WriteFile(source, row.File);
    TKvStringList list;
    list.LoadFromFile(PathText(source));
    EXPECT_EQ(list.Encoding(), row.Encoding);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Get(1), u"2:x");
    list.SaveToFile(PathText(target));
    const std::string &saved = row.Encoding == TKvEncoding::Ansi && RunCodePage() != 65001
                                   ? row.SavedInCodePage
                                   : row.Saved;
    EXPECT_EQ(ToHex(ReadFile(target)), ToHex(saved.empty() ? row.File : saved));

    // What was written reads back as the same lines.
    TKvStringList again;
    again.LoadFromFile(PathText(target));
    EXPECT_EQ(Printable(LinesOf(again)), Printable(LinesOf(list)));
  }
}

#ifdef _WIN32
// A new list goes to disk in the system's code page when every character fits it, byte for byte as
// before; a list with any character the code page cannot hold is written as UTF-8 with its mark
// instead, so that no look-alike ("lódz" for "łódź", another host) or "?" takes its place.
TEST_F(StringListFile, ANewListKeepsEveryCharacterTheCodePageCannotHold) {
  const struct {
    unsigned CodePage;
    Lines Written;
    std::optional<std::string> InCodePage; // nothing: written as UTF-8 with its mark
  } rows[] = {
      {1252,
       {u"1:https://café.example/€", u"1:José"},
       "1:https://caf\xE9.example/\x80\r\n1:Jos\xE9\r\n"},
      {1252, {u"1:https://łódź.example", u"1:José"}, std::nullopt},
      {1252, {u"1:https://example.com", u"1:Жанна"}, std::nullopt},
      {1251,
       {u"1:https://пример.рф/€", u"1:Жанна"},
       "1:https://\xEF\xF0\xE8\xEC\xE5\xF0.\xF0\xF4/\x88\r\n1:\xC6\xE0\xED\xED\xE0\r\n"},
      {1251, {u"1:https://café.example", u"1:Жанна"}, std::nullopt},
      {1252, {u"1:x", u"2:\u4E2D"}, std::nullopt},
      {1251, {u"1:x", u"2:\U0001F600"}, std::nullopt},
  };
  for (const auto &row : rows) {
    if (row.CodePage != RunCodePage())
      continue;
    SCOPED_TRACE(Printable(row.Written));
    const auto path = folder / "urls.db";
    TKvStringList list;
    for (const auto &line : row.Written)
      list.Add(line);
    list.SaveToFile(PathText(path));
    std::string utf8 = "\xEF\xBB\xBF";
    for (const auto &line : row.Written)
      utf8 += Utf16ToUtf8(line) + "\r\n";
    EXPECT_EQ(ToHex(ReadFile(path)), ToHex(row.InCodePage.value_or(utf8)));
    TKvStringList again;
    again.LoadFromFile(PathText(path));
    EXPECT_EQ(again.Encoding(), row.InCodePage ? TKvEncoding::Ansi : TKvEncoding::Utf8);
    EXPECT_EQ(Printable(LinesOf(again)), Printable(row.Written));
  }
}
#endif

#ifndef _WIN32
// The sites and logins are the user's alone, also in a data folder that others may look into (one
// made by an older version, or by the user) and over a file that others could read.
TEST_F(StringListFile, ListFilesAreTheOwnersAloneEvenInAFolderOthersMayRead) {
  chmod(folder.c_str(), 0755);
  const mode_t previous = umask(022);
  const auto path = folder / "logins.db";
  WriteFile(path, "1:anna\r\n");
  chmod(path.c_str(), 0644);
  TKvStringList list;
  list.LoadFromFile(PathText(path));
  list.Add(u"1:ben");
  list.SaveToFile(PathText(path));
  umask(previous);
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFile(path), "\xEF\xBB\xBF"
                            "1:anna\r\n1:ben\r\n");
}
#endif

TEST_F(StringListFile, EmptyListIsTheMarkAlone) {
  const struct {
    const char *Name;
    std::optional<std::string> File; // nothing: a list never read from a file
    std::string Saved;
  } rows[] = {
      // in the ANSI code page
      {"never read", std::nullopt, AnsiListMark()},
      {"empty file", "", AnsiListMark()},
      {"UTF-8", "\xEF\xBB\xBF", "\xEF\xBB\xBF"},
      {"UTF-16 little-endian", "\xFF\xFE", "\xFF\xFE"},
      {"UTF-16 big-endian", "\xFE\xFF", "\xFE\xFF"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Name);
    const auto path = folder / "list.db";
    TKvStringList list;
    if (row.File) {
      WriteFile(path, *row.File);
      list.LoadFromFile(PathText(path));
    }
    EXPECT_EQ(list.Count(), 0);
    list.SaveToFile(PathText(path));
    EXPECT_EQ(ToHex(ReadFile(path)), ToHex(row.Saved));
  }
}

TEST(StringList, DamagedTextKeepsEveryLine) {
  const struct {
    const char *Name;
    std::string File;
    Lines Expected;
    std::optional<Lines> In1251 = std::nullopt; // where the ANSI code page 1251 reads it otherwise
  } rows[] = {
      // Behind the UTF-8 mark each invalid sequence becomes U+FFFD.
      {"UTF-8 mark, invalid bytes",
       "\xEF\xBB\xBF"
       "1:a\xFF\r\n2:\xC3\r\n3:\xE2\x82z",
       {u"1:a\uFFFD", u"2:\uFFFD", u"3:\uFFFDz"}},
      // Without a mark one invalid byte makes the whole file Windows-1252, valid pairs included
      // (POSIX); in Windows-1252 itself the bytes it leaves undefined are the C1 controls too. In
      // Windows-1251 every one of these bytes is a letter or a sign.
      {"no mark, mixed",
       "1:\xC3\xA9\r\n2:\xE9\x81\x8D\x8F\x90\x9D\r\n",
       {u"1:\u00C3\u00A9", u"2:\u00E9\u0081\u008D\u008F\u0090\u009D"},
       Lines{u"1:\u0413\u00A9", u"2:\u0439\u0403\u040C\u040F\u0452\u045C"}},
      // An odd last byte of a UTF-16 file is not dropped silently.
      {"UTF-16, odd length",
       std::string("\xFF\xFE"
                   "a\0\r\0\n\0b",
                   9),
       {u"a", u"\uFFFD"}},
      // Unpaired surrogates survive a UTF-16 file unchanged.
      {"UTF-16, lone surrogate", std::string("\xFF\xFE\x00\xD8", 4), {u"\xD800"}},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Name);
    const Lines &expected = RunCodePage() == 1251 && row.In1251 ? *row.In1251 : row.Expected;
    TKvStringList list;
    list.LoadFromBytes(Bytes(row.File));
    EXPECT_EQ(Printable(LinesOf(list)), Printable(expected));
    TKvStringList again;
    again.LoadFromBytes(list.SaveToBytes());
    EXPECT_EQ(LinesOf(again), expected);
  }
}

TEST(StringList, AddDeleteAndPositions) {
  TKvStringList list;
  EXPECT_EQ(list.Add(u"a"), 0);
  EXPECT_EQ(list.Add(u"b"), 1);
  EXPECT_EQ(list.Add(u"a"), 2);
  EXPECT_EQ(list.Add(u""), 3);
  list.Delete(1);
  EXPECT_EQ(LinesOf(list), (Lines{u"a", u"a", u""}));

  for (const int32_t position : {-1, 3, INT32_MIN, INT32_MAX}) {
    SCOPED_TRACE(position);
    const std::u16string message =
        u"List index out of bounds (" + Utf8ToUtf16(std::to_string(position)) + u")";
    ExpectError([&] { list.Delete(position); }, message);
    ExpectError([&] { list.Get(position); }, message);
    EXPECT_EQ(LinesOf(list), (Lines{u"a", u"a", u""}));
  }
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(StringList, RefusesLineBreaksAndNullCharacters) {
  TKvStringList list;
  list.Add(u"keep");
  for (const std::u16string &text : {std::u16string(u"a\rb"), std::u16string(u"a\nb"),
                                     std::u16string(u"\r\n"), std::u16string(u"a\0b", 3)}) {
    SCOPED_TRACE(ToHex(Utf16ToUtf8(text)));
    ExpectError([&] { list.Add(text); }, u"A line cannot contain a line break or a null character");
    EXPECT_EQ(LinesOf(list), Lines{u"keep"});
  }
}

TEST(StringList, IndexOfIgnoresLetterCase) {
  TKvStringList list;
  for (const auto *line : {u"2:Bob", u"1:anna", u"3:STRASSE", u"4:Ωmega", u"2:bob", u"5:"})
    list.Add(line);
  const struct {
    std::u16string Text;
    int32_t Position;
  } rows[] = {
      {u"2:Bob", 0},    {u"2:bob", 0},    {u"2:BOB", 0}, {u"1:ANNA", 1},
      {u"3:straße", 2}, {u"4:ωMEGA", 3},  {u"5:", 5},    {u"2:bo", -1},
      {u"2:bobb", -1},  {u"1:anna ", -1}, {u"", -1},     {u"3:strase", -1},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(Utf16ToUtf8(row.Text));
    EXPECT_EQ(list.IndexOf(row.Text), row.Position);
  }
}

TEST_F(StringListFile, UnreadableFileIsAnOpenErrorAndChangesNothing) {
  std::filesystem::create_directory(folder / "folder.db");
  // The reason is the system's text for the error.
  const struct {
    const char *Name;
    std::u16string Reason;
  } rows[] = {
#ifdef _WIN32
      {"missing.db", SystemErrorText(ERROR_FILE_NOT_FOUND)},
      {"folder.db", SystemErrorText(ERROR_ACCESS_DENIED)},
#else
      {"missing.db", u"No such file or directory"},
      {"folder.db", u"Is a directory"},
#endif
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Name);
    const auto path = folder / row.Name;
    TKvStringList list;
    list.LoadFromBytes(Bytes(std::string("\xFF\xFE"
                                         "a\0",
                                         4)));
    ExpectError([&] { list.LoadFromFile(PathText(path)); },
                u"Cannot open file \"" + PathText(path) + u"\". " + row.Reason);
    EXPECT_EQ(LinesOf(list), Lines{u"a"});
    EXPECT_EQ(list.Encoding(), TKvEncoding::Utf16LE);
  }
}

TEST_F(StringListFile, FailedSaveKeepsTheOldFile) {
  // The longest name a folder allows leaves no room for a temporary file beside it, even for root.
  const auto path = folder / std::string(255, 'u');
  WriteFile(path, "old");
  TKvStringList list;
  list.Add(u"1:new");
  const std::u16string failure = u"Cannot create file \"" + PathText(path) + u"\". ";
#ifdef _WIN32
  // Windows refuses the name (ERROR_INVALID_NAME); Wine deviates and reports
  // ERROR_FILE_NOT_FOUND, as if the folder held no such file.
  try {
    list.SaveToFile(PathText(path));
    ADD_FAILURE() << "no error";
  } catch (const EKvError &e) {
    EXPECT_TRUE(e.Message() == failure + SystemErrorText(ERROR_INVALID_NAME) ||
                e.Message() == failure + SystemErrorText(ERROR_FILE_NOT_FOUND))
        << Utf16ToUtf8(e.Message());
  }
#else
  ExpectError([&] { list.SaveToFile(PathText(path)); }, failure + u"File name too long");
#endif
  EXPECT_EQ(ReadFile(path), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);

  // Saving replaces an existing file without anyone deleting it first.
  const auto urls = folder / "urls.db";
  WriteFile(urls, "a much longer old content\r\n");
  list.SaveToFile(PathText(urls));
  EXPECT_EQ(ReadFile(urls), AnsiListMark() + "1:new\r\n");
}

} // namespace
