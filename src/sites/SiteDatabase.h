// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The site list and the login list. A site line is "<index>:<URL>", a login line
// "<index>:<login>", the index in decimal; the site index ties a site's logins to it.

#include "sites/StringList.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using IntegerArray = std::vector<int32_t>;

// The prefix of a site index in a line: its decimal form and ":". A line belongs to the index
// when it begins with the prefix exactly, so "1:" matches neither "11:" nor "01:".
std::u16string IndexPrefix(int32_t index);
// The number before the first ":" of a line, read as TextToInteger reads it; none when the line
// has no ":" or the text before it is not an integer.
std::optional<int32_t> SiteIndexOf(std::u16string_view line);

// The largest site index that a line of list begins with (as SiteIndexOf reads it); 0 when no line
// has a positive one.
int32_t LargestSiteIndex(const TKvStringList &list);

class TKvURLs : public TKvStringList {
public:
  // The number before the first ":" of every line, in line order. Raises the error of
  // TextToInteger for the first line without a valid number, returning nothing.
  IntegerArray GetIndexes() const;
  // Appends a site with one more than the largest index of its lines and largestElsewhere (at
  // least 1) and returns that index; lines without a valid index are passed over. largestElsewhere
  // is an index that must not come back, such as one the login list still holds.
  // Raises "No free site index" when the largest index is already the largest 32-bit value.
  int32_t AddURL(const std::u16string &URL, int32_t largestElsewhere = 0);
  // Appends the site line of Index and URL as it is, for rebuilding the list in a new order.
  void AddURL(int32_t Index, const std::u16string &URL);
  // Removes the first line of Index; nothing when there is none.
  void RemoveURL(int32_t Index);
  // The URL of the first line of Index; empty when there is none.
  std::u16string GetURL(int32_t Index) const;

private:
  int32_t FindIndex(int32_t Index) const;
};

class TKvLogins : public TKvStringList {
public:
  // Appends the login line of Index and Login, equal lines included; returns its position.
  int32_t AddLogin(int32_t Index, const std::u16string &Login);
  // A new list of the logins of Index, in line order; empty when there are none.
  std::unique_ptr<TKvStringList> LoginsByIndex(int32_t Index) const;
  // Removes every line of Index.
  void DeleteByIndex(int32_t Index);
};
