// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/SiteDatabase.h"

#include "common/Integer.h"
#include "common/KvError.h"
#include "sites/URLParser.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

namespace {

std::u16string IndexText(std::u16string_view line) {
  // A line without ":" has no number at all, even when it is all digits.
  const auto colon = line.find(u':');
  return colon == std::u16string_view::npos ? std::u16string()
                                            : std::u16string(line.substr(0, colon));
}

} // namespace

std::optional<int32_t> SiteIndexOf(std::u16string_view line) {
  return ParseInteger(IndexText(line));
}

std::u16string IndexPrefix(int32_t index) {
  const std::string digits = std::to_string(index);
  std::u16string prefix(digits.begin(), digits.end());
  prefix += u':';
  return prefix;
}

IntegerArray TKvURLs::GetIndexes() const {
  IntegerArray indexes;
  indexes.reserve(FLines.size());
  for (const auto &line : FLines)
    indexes.push_back(TextToInteger(IndexText(line)));
  return indexes;
}

int32_t LargestSiteIndex(const TKvStringList &list) {
  // A line without a valid index takes no number, and keeps no new site from getting one.
  int32_t largest = 0;
  for (int32_t position = 0; position < list.Count(); ++position)
    if (const std::optional<int32_t> index = SiteIndexOf(list.Get(position));
        index && *index > largest)
      largest = *index;
  return largest;
}

int32_t TKvURLs::AddURL(const std::u16string &URL, int32_t largestElsewhere) {
  const int32_t largest = std::max(LargestSiteIndex(*this), largestElsewhere);
  if (largest == std::numeric_limits<int32_t>::max())
    throw EKvError(u"No free site index");
  const int32_t index = largest + 1;
  Add(IndexPrefix(index) + URL);
  return index;
}

void TKvURLs::AddURL(int32_t Index, const std::u16string &URL) {
  Add(IndexPrefix(Index) + URL);
}

int32_t TKvURLs::FindIndex(int32_t Index) const {
  const std::u16string prefix = IndexPrefix(Index);
  for (std::size_t i = 0; i < FLines.size(); ++i)
    if (FLines[i].starts_with(prefix))
      return int32_t(i);
  return -1;
}

void TKvURLs::RemoveURL(int32_t Index) {
  const int32_t position = FindIndex(Index);
  if (position >= 0)
    Delete(position);
}

std::u16string TKvURLs::GetURL(int32_t Index) const {
  const int32_t position = FindIndex(Index);
  return position < 0 ? std::u16string() : Get(position).substr(IndexPrefix(Index).size());
}

int32_t TKvLogins::AddLogin(int32_t Index, const std::u16string &Login) {
  return Add(IndexPrefix(Index) + Login);
}

std::unique_ptr<TKvStringList> TKvLogins::LoginsByIndex(int32_t Index) const {
  const std::u16string prefix = IndexPrefix(Index);
  auto logins = std::make_unique<TKvStringList>();
  for (const auto &line : FLines)
    if (line.starts_with(prefix))
      logins->Add(std::u16string_view(line).substr(prefix.size()));
  return logins;
}

void TKvLogins::DeleteByIndex(int32_t Index) {
  const std::u16string prefix = IndexPrefix(Index);
  std::vector<int32_t> positions;
  for (std::size_t i = 0; i < FLines.size(); ++i)
    if (FLines[i].starts_with(prefix))
      positions.push_back(int32_t(i));
  for (auto it = positions.rbegin(); it != positions.rend(); ++it)
    Delete(*it);
}
