// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/SiteStore.h"

#include "common/KvError.h"
#include "platform/FileSystem.h"
#include "sites/URLParser.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

namespace {

// The site a first start offers as an example: the home page of a software download portal.
const std::u16string ExampleSiteURL = u"https://sourceforge.net";
const std::u16string ExampleSiteHost = u"sourceforge.net";

struct TSchemeAndHost {
  std::u16string Scheme;
  std::u16string Host;
};

// The two parts of a URL that a site is known by; the error of ParseURL when it does not split.
TSchemeAndHost Split(const std::u16string &url) {
  TSchemeAndHost parts;
  std::u16string user, password, path, fragment, query;
  uint16_t port = 0;
  ParseURL(url, true, parts.Scheme, user, password, parts.Host, port, path, fragment, query,
           u"http");
  return parts;
}

std::optional<TSchemeAndHost> TrySplit(const std::u16string &url) {
  try {
    return Split(url);
  } catch (const EKvError &) {
    return std::nullopt;
  }
}

// Writes a list over its file; a file whose content never reached the list is kept aside first.
void SaveList(const TKvStringList &list, const std::u16string &path, bool loaded) {
  if (!loaded && FileExists(path))
    RenameFile(path, path + u".bak");
  list.SaveToFile(path);
}

} // namespace

std::u16string SchemeAndHostURL(const std::u16string &url) {
  const std::optional<TSchemeAndHost> parts = TrySplit(url);
  if (!parts)
    return url;
  for (const std::u16string &candidate :
       {parts->Scheme + u"://" + parts->Host, parts->Scheme + u"://[" + parts->Host + u"]"}) {
    const std::optional<TSchemeAndHost> again = TrySplit(candidate);
    if (again && again->Host == parts->Host)
      return candidate;
  }
  return url;
}

TKvSiteStore::TKvSiteStore(std::u16string urlsPath, std::u16string loginsPath)
    : FURLsPath(std::move(urlsPath)), FLoginsPath(std::move(loginsPath)) {}

std::vector<TKvSite> TKvSiteStore::Load(bool linesTyped) {
  FLinesTyped = linesTyped;
  // Only a list that is not there at all starts anew; anything else of that name (a folder, a
  // file in a folder that may not be searched) is read, so that its error is reported.
  if (NothingAt(FURLsPath)) {
    const int32_t index = FURLs.AddURL(ExampleSiteURL);
    FHasSite.assign(1, true);
    FURLsLoaded = true;
    return {{index, ExampleSiteURL, ExampleSiteHost}};
  }
  FURLs.LoadFromFile(FURLsPath);
  FURLsLoaded = true;

  // Each site takes the URL of the first line that spells its index, as GetURL finds it; a map
  // from index to that line opens ten thousand sites in one pass.
  std::vector<std::u16string> lines;
  std::vector<std::optional<int32_t>> indexes;
  std::unordered_map<int32_t, std::size_t> firstLine;
  for (int32_t position = 0; position < FURLs.Count(); ++position) {
    std::u16string line = FURLs.Get(position);
    const std::optional<int32_t> index = SiteIndexOf(line);
    const bool firstOfItsIndex = index && line.starts_with(IndexPrefix(*index)) &&
                                 firstLine.try_emplace(*index, lines.size()).second;
    if (firstOfItsIndex && !linesTyped) {
      // What the button of this line gave when buttons held only scheme and host.
      const std::u16string prefix = IndexPrefix(*index);
      const std::u16string url = line.substr(prefix.size());
      const std::u16string given = SchemeAndHostURL(url);
      if (given != url) {
        line = prefix + given;
        FLinesRewritten = true;
      }
    }
    lines.push_back(std::move(line));
    indexes.push_back(index);
  }
  if (FLinesRewritten)
    ReplaceLines(lines);

  std::vector<TKvSite> sites;
  FHasSite.assign(lines.size(), false);
  for (std::size_t position = 0; position < lines.size(); ++position) {
    if (!indexes[position])
      continue;
    const int32_t index = *indexes[position];
    const auto found = firstLine.find(index);
    const std::u16string url = found == firstLine.end()
                                   ? std::u16string()
                                   : lines[found->second].substr(IndexPrefix(index).size());
    const std::optional<TSchemeAndHost> parts = TrySplit(url);
    if (!parts)
      continue;
    FHasSite[position] = true;
    sites.push_back({index, url, parts->Host});
  }

  FLargestIndex = LargestSiteIndex(FURLs);
  if (!NothingAt(FLoginsPath))
    FLogins.LoadFromFile(FLoginsPath);
  FLoginsLoaded = true;
  FLargestIndex = std::max(FLargestIndex, LargestSiteIndex(FLogins));
  return sites;
}

TKvSite TKvSiteStore::AddSite(const std::u16string &url) {
  const TSchemeAndHost parts = Split(url);
  const int32_t index = FURLs.AddURL(FLinesTyped ? url : SchemeAndHostURL(url), FLargestIndex);
  FLargestIndex = index;
  FHasSite.push_back(true);
  return {index, url, parts.Host};
}

void TKvSiteStore::RemoveSite(int position) {
  const std::size_t line = SiteLines().at(std::size_t(position));
  const std::optional<int32_t> index = SiteIndexOf(FURLs.Get(int32_t(line)));
  FURLs.Delete(int32_t(line));
  FHasSite.erase(FHasSite.begin() + std::ptrdiff_t(line));
  if (index)
    FLogins.DeleteByIndex(*index);
}

void TKvSiteStore::MoveSite(int from, int to) {
  const std::vector<std::size_t> positions = SiteLines();
  std::vector<std::u16string> siteLines;
  siteLines.reserve(positions.size());
  for (const std::size_t line : positions)
    siteLines.push_back(FURLs.Get(int32_t(line)));
  std::u16string moved = std::move(siteLines.at(std::size_t(from)));
  siteLines.erase(siteLines.begin() + from);
  siteLines.insert(siteLines.begin() +
                       std::min<std::ptrdiff_t>(to, std::ptrdiff_t(siteLines.size())),
                   std::move(moved));

  std::vector<std::u16string> lines;
  lines.reserve(std::size_t(FURLs.Count()));
  for (int32_t line = 0; line < FURLs.Count(); ++line)
    lines.push_back(FURLs.Get(line));
  for (std::size_t k = 0; k < positions.size(); ++k)
    lines[positions[k]] = std::move(siteLines[k]);
  ReplaceLines(lines);
}

void TKvSiteStore::SaveURLs() const {
  SaveList(FURLs, FURLsPath, FURLsLoaded);
}

void TKvSiteStore::SaveLogins() const {
  SaveList(FLogins, FLoginsPath, FLoginsLoaded);
}

std::vector<std::size_t> TKvSiteStore::SiteLines() const {
  std::vector<std::size_t> positions;
  for (std::size_t line = 0; line < FHasSite.size(); ++line)
    if (FHasSite[line])
      positions.push_back(line);
  return positions;
}

void TKvSiteStore::ReplaceLines(const std::vector<std::u16string> &lines) {
  FURLs.Clear();
  for (const std::u16string &line : lines)
    FURLs.Add(line);
}
