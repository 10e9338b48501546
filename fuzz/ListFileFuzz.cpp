// SPDX-License-Identifier: GPL-3.0-or-later
// Reading any bytes as a list file must keep every line of it, and writing the list and reading it
// again must give the same lines: whatever a damaged or hand-edited file holds, a save never
// changes what the user had. The site
// and login operations, and the case-insensitive look-up, run over the lines too.

#include "FuzzSupport.h"
#include "common/KvError.h"
#include "platform/TextServices.h"
#include "sites/SiteDatabase.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace {

// The lines of a file as its code units tell them apart, without the reader's decoding: CR LF, a
// lone CR and a lone LF each end one; for each line, whether it holds anything besides NUL.
std::vector<bool> LinesOfFile(const uint8_t *data, size_t size) {
  size_t from = 0, width = 1;
  bool bigEndian = false;
  if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF)
    from = 3;
  else if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE)
    from = 2, width = 2;
  else if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF)
    from = 2, width = 2, bigEndian = true;
  std::vector<uint32_t> units;
  for (size_t i = from; i < size; i += width)
    units.push_back(width == 1      ? data[i]
                    : i + 1 == size ? 0xFFFD // an odd last byte
                    : bigEndian     ? uint32_t(data[i] << 8 | data[i + 1])
                                    : uint32_t(data[i + 1] << 8 | data[i]));
  std::vector<bool> lines;
  bool filled = false, open = false;
  for (size_t i = 0; i < units.size(); ++i) {
    if (units[i] == '\r' || units[i] == '\n') {
      lines.push_back(filled);
      filled = open = false;
      if (units[i] == '\r' && i + 1 < units.size() && units[i + 1] == '\n')
        ++i;
    } else if (units[i] != 0) {
      filled = open = true;
    }
  }
  if (open)
    lines.push_back(filled);
  return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  TKvLogins list;
  list.LoadFromBytes(ByteArray(data, data + size));
  Check(list.Encoding().has_value());
  // Every line of the file reaches the list, whatever it holds; a NUL is dropped on its own.
  const std::vector<bool> fileLines = LinesOfFile(data, size);
  Check(fileLines.size() == size_t(list.Count()));
  for (int32_t i = 0; i < list.Count(); ++i)
    Check(list.Get(i).empty() == !fileLines[size_t(i)]);

  TKvLogins again;
  const ByteArray saved = list.SaveToBytes();
  again.LoadFromBytes(saved);
  Check(again.Count() == list.Count());
  for (int32_t i = 0; i < list.Count(); ++i) {
    Check(list.Get(i).find_first_of(std::u16string_view(u"\r\n\0", 3)) == std::u16string::npos);
    Check(again.Get(i) == list.Get(i));
  }
  // A list read back from what was written is written the same way again.
  Check(again.SaveToBytes() == saved);

  // Every line finds itself, or an earlier line equal to it when case is ignored; both ways round.
  for (int32_t i = 0; i < list.Count() && i < 32; ++i) {
    const int32_t found = list.IndexOf(list.Get(i));
    Check(found >= 0 && found <= i);
    Check(SameTextIgnoringCase(list.Get(i), list.Get(found)));
    Check(SameTextIgnoringCase(list.Get(found), list.Get(i)));
    if (i > 0)
      Check(SameTextIgnoringCase(list.Get(i), list.Get(i - 1)) ==
            SameTextIgnoringCase(list.Get(i - 1), list.Get(i)));
  }

  TKvURLs urls;
  urls.LoadFromBytes(saved);
  try {
    const IntegerArray indexes = urls.GetIndexes();
    Check(indexes.size() == size_t(urls.Count()));
    for (const int32_t index : indexes) {
      const auto logins = again.LoginsByIndex(index);
      Check(logins->Count() <= again.Count());
      urls.GetURL(index);
    }
    if (!indexes.empty()) {
      const int32_t first = indexes.front();
      const int32_t before = urls.Count();
      urls.RemoveURL(first);
      Check(urls.Count() == before || urls.Count() == before - 1);
      again.DeleteByIndex(first);
      Check(again.LoginsByIndex(first)->Count() == 0);
    }
    urls.AddURL(u"ftp://host.example");
  } catch (const EKvError &) {
    // A malformed line or no free index; both leave the list usable.
  }
  return 0;
}
