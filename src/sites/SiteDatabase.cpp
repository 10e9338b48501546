#include "sites/SiteDatabase.h"

#include "common/KvError.h"
#include "sites/URLParser.h"

#include <cstdint>
#include <limits>

namespace {

// The prefix of a site index: its decimal form and ":". A line belongs to the index when it
// begins with the prefix exactly, so "1:" matches neither "11:" nor "01:".
std::u16string Prefix(int32_t index) {
  const std::string digits = std::to_string(index);
  std::u16string prefix(digits.begin(), digits.end());
  prefix += u':';
  return prefix;
}

} // namespace

IntegerArray TKvURLs::GetIndexes() const {
  IntegerArray indexes;
  indexes.reserve(FLines.size());
  for (const auto &line : FLines) {
    // A line without ":" has no number at all, even when it is all digits.
    const auto colon = line.find(u':');
    indexes.push_back(
        TextToInteger(colon == std::u16string::npos ? std::u16string() : line.substr(0, colon)));
  }
  return indexes;
}

int32_t TKvURLs::GetMaxIndex() const {
  int32_t largest = 0;
  for (const int32_t index : GetIndexes())
    if (index > largest)
      largest = index;
  return largest;
}

int32_t TKvURLs::AddURL(const std::u16string &URL) {
  const int32_t largest = GetMaxIndex();
  if (largest == std::numeric_limits<int32_t>::max())
    throw EKvError(u"No free site index");
  const int32_t index = largest + 1;
  Add(Prefix(index) + URL);
  return index;
}

void TKvURLs::AddURL(int32_t Index, const std::u16string &URL) {
  Add(Prefix(Index) + URL);
}

int32_t TKvURLs::FindIndex(int32_t Index) const {
  const std::u16string prefix = Prefix(Index);
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
  return position < 0 ? std::u16string() : Get(position).substr(Prefix(Index).size());
}

int32_t TKvLogins::AddLogin(int32_t Index, const std::u16string &Login) {
  return Add(Prefix(Index) + Login);
}

std::unique_ptr<TKvStringList> TKvLogins::LoginsByIndex(int32_t Index) const {
  const std::u16string prefix = Prefix(Index);
  auto logins = std::make_unique<TKvStringList>();
  for (const auto &line : FLines)
    if (line.starts_with(prefix))
      logins->Add(std::u16string_view(line).substr(prefix.size()));
  return logins;
}

void TKvLogins::DeleteByIndex(int32_t Index) {
  const std::u16string prefix = Prefix(Index);
  std::vector<int32_t> positions;
  for (std::size_t i = 0; i < FLines.size(); ++i)
    if (FLines[i].starts_with(prefix))
      positions.push_back(int32_t(i));
  for (auto it = positions.rbegin(); it != positions.rend(); ++it)
    Delete(*it);
}
