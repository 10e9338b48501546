// SPDX-License-Identifier: GPL-3.0-or-later
// records.db may be damaged, edited by hand or written by a later version. Reading any bytes as
// that file must keep every line in its place, and a file read and saved unchanged is never
// written. A rule and a version set for a site read back as set, also after a save and a new
// reading; removing them, or the site, leaves every line of other sites as it was.
//
// The first byte chooses the site index, URL and login acted on; the rest is the file. The file
// lives in a temporary folder, on tmpfs where the system has it.

#include "FuzzSupport.h"
#include "common/Unicode.h"
#include "platform/FileSystem.h"
#include "sites/SiteDatabase.h"
#include "sites/SiteRecords.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

const std::u16string URLs[] = {u"https://a.example", u"https://b.example/x", u"", u"\u00E9://h"};
const std::u16string Logins[] = {u"alice", u"Alice", u"", u"\u0142ukasz"};

const std::u16string &FilePath() {
  static const TScratchFolder folder("records");
  static const std::u16string path = Utf8ToUtf16(folder.Path() + "/records.db");
  return path;
}

std::vector<std::u16string> LinesOf(const TKvStringList &list) {
  std::vector<std::u16string> lines;
  lines.reserve(std::size_t(list.Count()));
  for (int32_t i = 0; i < list.Count(); ++i)
    lines.push_back(list.Get(i));
  return lines;
}

// The lines that belong to no record of index: those another site's change must leave alone.
std::vector<std::u16string> OthersOf(const TKvStringList &list, int32_t index) {
  std::vector<std::u16string> lines;
  for (int32_t i = 0; i < list.Count(); ++i)
    if (!list.Get(i).starts_with(IndexPrefix(index)))
      lines.push_back(list.Get(i));
  return lines;
}

TKvSiteRecords Reread() {
  TKvSiteRecords records(FilePath());
  records.Load();
  return records;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  const int32_t index = data[0] & 3;
  const std::u16string &url = URLs[(data[0] >> 2) & 3];
  const std::u16string &login = Logins[(data[0] >> 4) & 3];
  const ByteArray bytes(data + 1, data + size);
  ReplaceFileAtomically(FilePath(), bytes);

  TKvStringList plain;
  plain.LoadFromBytes(bytes);
  TKvSiteRecords records = Reread();
  Check(LinesOf(records.Lines()) == LinesOf(plain));
  records.Save();
  Check(ReadWholeFile(FilePath()) == bytes);

  const std::vector<std::u16string> before = LinesOf(records.Lines());
  const std::vector<std::u16string> others = OthersOf(records.Lines(), index);
  records.SetRule(index, url, u"minlength: 9;", u"a.example");
  records.SetVersion(index, url, login, 7);
  const auto check = [&](const TKvSiteRecords &set) {
    const auto rule = set.Rule(index, url);
    Check(rule && rule->Rules == u"minlength: 9;" && rule->From == u"a.example");
    Check(set.Version(index, url, login) == 7);
    Check(OthersOf(set.Lines(), index) == others);
  };
  check(records);
  // Changed in place or added after the last; at most one line of each kind added.
  const std::vector<std::u16string> after = LinesOf(records.Lines());
  Check(after.size() >= before.size() && after.size() <= before.size() + 2);
  for (std::size_t i = 0; i < before.size(); ++i)
    Check(after[i] == before[i] || before[i].starts_with(IndexPrefix(index)));
  records.Save();
  TKvSiteRecords again = Reread();
  check(again);
  Check(LinesOf(again.Lines()) == after);

  again.SetRule(index, url, u"", u"");
  again.SetVersion(index, url, login, 1);
  Check(!again.Rule(index, url) && again.Version(index, url, login) == 1);
  Check(OthersOf(again.Lines(), index) == others);
  again.SetVersion(index, url, login, 2);
  again.RemoveSite(index, url);
  Check(!again.Rule(index, url) && again.Version(index, url, login) == 1);
  Check(OthersOf(again.Lines(), index) == others);
  again.Save();
  Check(LinesOf(Reread().Lines()) == LinesOf(again.Lines()));

  // The copy kept of bytes that were no text: one per input, not kept beyond it.
  RemoveFile(FilePath() + u".invalid-text.bak");
  return 0;
}
