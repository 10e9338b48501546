// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/SiteStore.h"

#include "common/KvError.h"
#include "platform/FileSystem.h"
#include "sites/KeptCopy.h"
#include "sites/URLParser.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

namespace {

// The site a first start offers as an example: the home page of a software download portal.
const std::u16string ExampleSiteURL = u"https://sourceforge.net";

// Why a copy of a list is kept before the list is written over it; each is part of the copy's
// name.
const std::u16string BeforeRewrite = u"before-rewrite";
const std::u16string InvalidText(InvalidTextCopy);
const std::u16string WithoutSites = u"without-sites";

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

std::u16string KeptCopyNotice(const std::u16string &path, const std::u16string &why,
                              const std::u16string &copy) {
  if (why == BeforeRewrite)
    return u"Site lines written by an older version now hold the URLs their buttons gave, so "
           u"every site keeps its password. The list as it was is kept in \"" +
           copy + u"\".";
  if (why == InvalidText)
    return InvalidTextNotice(path, copy, u"a site");
  return u"\"" + path + u"\" held logins of sites that no site list names any more. They are " +
         u"kept in \"" + copy + u"\".";
}

// The URL of a site line, which must begin with its index's prefix.
std::u16string URLOfLine(const std::u16string &line, int32_t index) {
  return line.substr(IndexPrefix(index).size());
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

TKvSiteStore::TKvSiteStore(std::u16string urlsPath, std::u16string loginsPath) {
  FURLsFile.Path = std::move(urlsPath);
  FLoginsFile.Path = std::move(loginsPath);
}

void TKvSiteStore::Load(bool rewriteOldLines, int32_t largestElsewhere) {
  FLargestElsewhere = largestElsewhere;
  FLinesTyped = !rewriteOldLines;
  // Only a list that is not there at all starts anew; anything else of that name (a folder, a
  // file in a folder that may not be searched) is read, so that its error is reported.
  FURLsFile.Missing = NothingAt(FURLsFile.Path);
  FLoginsFile.Missing = NothingAt(FLoginsFile.Path);
  try {
    if (!FURLsFile.Missing)
      FURLsFile.Bytes = ReadWholeFile(FURLsFile.Path);
    if (!FLoginsFile.Missing)
      FLoginsFile.Bytes = ReadWholeFile(FLoginsFile.Path);
  } catch (const EKvError &error) {
    StartUnloaded();
    throw EKvError(
        error.Text() +
        u".\n\nThe site list and the login list are left as they are, and the window shows "
        u"neither. Sites and logins you add now are kept in \"" +
        FURLsFile.Path + u".new\" and \"" + FLoginsFile.Path +
        u".new\", and join the lists at the first opening that can read both. Make the file "
        u"readable again, then open the window again.");
  }

  if (FURLsFile.Missing) {
    // The example site; logins whose sites are unknown go aside at the first save.
    FURLs.AddURL(ExampleSiteURL);
    FURLsFile.Edited = true;
    if (!FLoginsFile.Missing) {
      FLoginsFile.KeepAs = WithoutSites;
      FLoginsFile.Edited = true;
    }
  } else {
    FURLs.LoadFromBytes(FURLsFile.Bytes);
    if (!FURLs.ReadWithoutLoss())
      FURLsFile.KeepAs = InvalidText;
    if (!FLoginsFile.Missing) {
      FLogins.LoadFromBytes(FLoginsFile.Bytes);
      if (!FLogins.ReadWithoutLoss())
        FLoginsFile.KeepAs = InvalidText;
    }
    if (rewriteOldLines)
      RewriteOldLines();
  }
  // The bytes as read are needed only for a copy to keep.
  for (TListFile *file : {&FURLsFile, &FLoginsFile})
    if (file->KeepAs.empty())
      ByteArray().swap(file->Bytes);
  FLoaded = true;
  FLargestIndex = std::max({LargestSiteIndex(FURLs), LargestSiteIndex(FLogins), FLargestElsewhere});
  MergeNewFiles();
  FindSites();
}

void TKvSiteStore::RewriteOldLines() {
  // What the button of each site's first line gave when buttons held only scheme and host.
  std::vector<std::u16string> lines;
  std::unordered_map<int32_t, bool> seen;
  for (int32_t position = 0; position < FURLs.Count(); ++position) {
    std::u16string line = FURLs.Get(position);
    const std::optional<int32_t> index = SiteIndexOf(line);
    if (index && line.starts_with(IndexPrefix(*index)) && seen.try_emplace(*index, true).second) {
      const std::u16string url = URLOfLine(line, *index);
      const std::u16string given = SchemeAndHostURL(url);
      if (given != url) {
        line = IndexPrefix(*index) + given;
        FLinesRewritten = true;
      }
    }
    lines.push_back(std::move(line));
  }
  if (!FLinesRewritten)
    return;
  FURLs.Clear();
  for (const std::u16string &line : lines)
    FURLs.Add(line);
  FURLsFile.Edited = true;
  FURLsFile.KeepAs = BeforeRewrite;
}

void TKvSiteStore::StartUnloaded() {
  // Neither list is taken, so neither is ever written; what earlier such sessions kept aside comes
  // back, and this session's additions join it.
  FLoaded = false;
  FURLs.Clear();
  FLogins.Clear();
  ByteArray().swap(FURLsFile.Bytes);
  ByteArray().swap(FLoginsFile.Bytes);
  try {
    if (!NothingAt(FURLsFile.Path + u".new"))
      FURLs.LoadFromFile(FURLsFile.Path + u".new");
    if (!NothingAt(FLoginsFile.Path + u".new"))
      FLogins.LoadFromFile(FLoginsFile.Path + u".new");
  } catch (const EKvError &) {
    FNewUnreadable = true;
    FURLs.Clear();
    FLogins.Clear();
  }
  FLargestIndex = std::max({LargestSiteIndex(FURLs), LargestSiteIndex(FLogins), FLargestElsewhere});
  FindSites();
}

void TKvSiteStore::MergeNewFiles() {
  const std::u16string urlsNew = FURLsFile.Path + u".new";
  const std::u16string loginsNew = FLoginsFile.Path + u".new";
  if (NothingAt(urlsNew) && NothingAt(loginsNew))
    return;
  TKvURLs newURLs;
  TKvLogins newLogins;
  try {
    if (!NothingAt(urlsNew))
      newURLs.LoadFromFile(urlsNew);
    if (!NothingAt(loginsNew))
      newLogins.LoadFromFile(loginsNew);
  } catch (const EKvError &error) {
    FNotices.push_back(error.Text() + u". The sites and logins kept there stay until it can "
                                      u"be read.");
    return;
  }

  // A site of a session that could not read the lists got its index there: each takes a new one
  // here, or the index of a line with exactly its URL, so that a merge cut short (by a crash, or
  // by running out of indexes) is merged again without a second copy of anything.
  try {
    std::unordered_map<int32_t, int32_t> indexFor;
    for (int32_t position = 0; position < newURLs.Count(); ++position) {
      const std::u16string &line = newURLs.Get(position);
      const std::optional<int32_t> index = SiteIndexOf(line);
      if (!index || !line.starts_with(IndexPrefix(*index)) || indexFor.contains(*index))
        continue;
      const std::u16string url = URLOfLine(line, *index);
      std::optional<int32_t> listed;
      for (int32_t own = 0; own < FURLs.Count() && !listed; ++own) {
        const std::optional<int32_t> ownIndex = SiteIndexOf(FURLs.Get(own));
        if (ownIndex && FURLs.Get(own) == IndexPrefix(*ownIndex) + url)
          listed = ownIndex;
      }
      if (!listed) {
        listed = FURLs.AddURL(url, FLargestIndex);
        FLargestIndex = *listed;
        FURLsFile.Edited = true;
      }
      indexFor.emplace(*index, *listed);
    }
    for (int32_t position = 0; position < newLogins.Count(); ++position) {
      const std::u16string &line = newLogins.Get(position);
      const std::optional<int32_t> index = SiteIndexOf(line);
      const auto found = index ? indexFor.find(*index) : indexFor.end();
      if (found != indexFor.end() && line.starts_with(IndexPrefix(*index)))
        AddLogin(found->second, URLOfLine(line, *index));
    }
  } catch (const EKvError &error) {
    FNotices.push_back(u"Not every site and login kept in \"" + urlsNew + u"\" and \"" + loginsNew +
                       u"\" could be taken into the lists: " + error.Text() +
                       u". They stay there.");
    return;
  }
  FNewMerged = true;
  FNotices.push_back(u"Sites and logins added while the lists could not be read were taken into "
                     u"them from \"" +
                     urlsNew + u"\" and \"" + loginsNew + u"\".");
}

void TKvSiteStore::FindSites() {
  // Each site takes the URL of the first line that spells its index, as GetURL finds it; a map
  // from index to that line opens ten thousand sites in one pass.
  std::unordered_map<int32_t, int32_t> firstLine;
  std::vector<std::optional<int32_t>> indexes;
  indexes.reserve(std::size_t(FURLs.Count()));
  for (int32_t position = 0; position < FURLs.Count(); ++position) {
    const std::optional<int32_t> index = SiteIndexOf(FURLs.Get(position));
    if (index && FURLs.Get(position).starts_with(IndexPrefix(*index)))
      firstLine.try_emplace(*index, position);
    indexes.push_back(index);
  }
  FLineSites.assign(indexes.size(), 0);
  FSites.clear();
  for (int32_t position = 0; position < FURLs.Count(); ++position) {
    const std::optional<int32_t> index = indexes[std::size_t(position)];
    if (!index)
      continue;
    const auto found = firstLine.find(*index);
    const std::u16string url =
        found == firstLine.end() ? std::u16string() : URLOfLine(FURLs.Get(found->second), *index);
    const std::optional<TSchemeAndHost> parts = TrySplit(url);
    if (!parts)
      continue;
    FLineSites[std::size_t(position)] = ++FLastId;
    FSites.push_back({FLastId, *index, url, parts->Host});
  }
  if (FListener)
    FListener->SitesLoaded();
}

TKvSite TKvSiteStore::AddSite(const std::u16string &url) {
  const TSchemeAndHost parts = Split(url);
  const int32_t index = FURLs.AddURL(FLinesTyped ? url : SchemeAndHostURL(url), FLargestIndex);
  FLargestIndex = index;
  FLineSites.push_back(++FLastId);
  FURLsFile.Edited = true;
  FSites.push_back({FLastId, index, url, parts.Host});
  if (FListener)
    FListener->SiteAdded(int32_t(FSites.size()) - 1);
  return FSites.back();
}

void TKvSiteStore::RemoveSite(TKvSiteId id) {
  const std::optional<std::size_t> line = LineOf(id);
  const std::optional<int32_t> position = PositionOf(id);
  if (!line || !position)
    return;
  if (FListener)
    FListener->SiteRemoving(*position);
  const int32_t index = FSites[std::size_t(*position)].Index;
  FURLs.Delete(int32_t(*line));
  FLineSites.erase(FLineSites.begin() + std::ptrdiff_t(*line));
  FSites.erase(FSites.begin() + *position);
  FURLsFile.Edited = true;
  const int32_t count = FLogins.Count();
  FLogins.DeleteByIndex(index);
  FLoginsFile.Edited = FLoginsFile.Edited || FLogins.Count() != count;
  if (FListener)
    FListener->SiteRemoved(*position);
}

void TKvSiteStore::MoveSite(const TKvListMove &move) {
  if (!FitsList(move, int32_t(FSites.size())) || MovesNothing(move))
    return;
  // The site lines take each other's places; every other line keeps its own.
  const std::vector<std::size_t> siteLines = SiteLines();
  std::vector<std::size_t> siteOrder = siteLines;
  ApplyMove(siteOrder, move);
  std::vector<std::size_t> order(FLineSites.size());
  for (std::size_t line = 0; line < order.size(); ++line)
    order[line] = line;
  for (std::size_t k = 0; k < siteLines.size(); ++k)
    order[siteLines[k]] = siteOrder[k];
  Reorder(order);
  ApplyMove(FSites, move);
  if (FListener)
    FListener->SiteMoved(move);
}

void TKvSiteStore::AddLogin(int32_t index, const std::u16string &login) {
  const std::u16string line = IndexPrefix(index) + login;
  for (int32_t position = 0; position < FLogins.Count(); ++position)
    if (FLogins.Get(position) == line)
      return;
  FLogins.Add(line);
  FLoginsFile.Edited = true;
}

bool TKvSiteStore::RemoveLogin(int32_t index, const std::u16string &login) {
  const std::u16string line = IndexPrefix(index) + login;
  for (int32_t position = 0; position < FLogins.Count(); ++position)
    if (FLogins.Get(position) == line) {
      FLogins.Delete(position);
      FLoginsFile.Edited = true;
      return true;
    }
  return false;
}

void TKvSiteStore::Save() {
  TKvFirstError firstError;
  if (FLoaded) {
    firstError.Run([this] { SaveList(FURLsFile, FURLs); });
    firstError.Run([this] { SaveList(FLoginsFile, FLogins); });
    // Merged sites and logins leave their ".new" files only once both lists hold them on disk.
    if (!firstError.Message && FNewMerged) {
      firstError.Run([this] { RemoveFile(FURLsFile.Path + u".new"); });
      firstError.Run([this] { RemoveFile(FLoginsFile.Path + u".new"); });
      FNewMerged = bool(firstError.Message);
    }
  } else if (FURLsFile.Edited || FLoginsFile.Edited) {
    if (FNewUnreadable)
      throw EKvError(u"The sites and logins added now cannot be kept: \"" + FURLsFile.Path +
                     u".new\" or \"" + FLoginsFile.Path + u".new\" cannot be read");
    firstError.Run([this] { SaveNew(FURLs, FURLsFile.Path + u".new"); });
    firstError.Run([this] { SaveNew(FLogins, FLoginsFile.Path + u".new"); });
    if (!firstError.Message)
      FURLsFile.Edited = FLoginsFile.Edited = false;
  }
  firstError.Raise();
}

void TKvSiteStore::SaveList(TListFile &file, const TKvStringList &list) {
  if (!file.Edited && !file.Missing)
    return;
  if (!file.KeepAs.empty() && !file.Missing) {
    const std::u16string copy = KeepCopy(file.Path, file.KeepAs, file.Bytes);
    FNotices.push_back(KeptCopyNotice(file.Path, file.KeepAs, copy));
    file.KeepAs.clear();
  }
  list.SaveToFile(file.Path);
  file.Edited = false;
  file.Missing = false;
  file.Bytes.clear();
}

void TKvSiteStore::SaveNew(const TKvStringList &list, const std::u16string &path) {
  if (list.Count() > 0 || !NothingAt(path))
    list.SaveToFile(path);
}

std::vector<std::u16string> TKvSiteStore::TakeNotices() {
  return std::exchange(FNotices, {});
}

std::vector<std::size_t> TKvSiteStore::SiteLines() const {
  std::vector<std::size_t> lines;
  for (std::size_t line = 0; line < FLineSites.size(); ++line)
    if (FLineSites[line] != 0)
      lines.push_back(line);
  return lines;
}

std::optional<int32_t> TKvSiteStore::PositionOf(TKvSiteId id) const {
  const auto found = std::find_if(FSites.begin(), FSites.end(),
                                  [id](const TKvSite &site) { return site.Id == id; });
  if (found == FSites.end())
    return std::nullopt;
  return int32_t(found - FSites.begin());
}

std::optional<std::size_t> TKvSiteStore::LineOf(TKvSiteId id) const {
  const auto found = std::find(FLineSites.begin(), FLineSites.end(), id);
  if (id == 0 || found == FLineSites.end())
    return std::nullopt;
  return std::size_t(found - FLineSites.begin());
}

void TKvSiteStore::Reorder(const std::vector<std::size_t> &order) {
  std::vector<std::u16string> lines;
  std::vector<TKvSiteId> sites;
  lines.reserve(order.size());
  sites.reserve(order.size());
  for (const std::size_t line : order) {
    lines.push_back(FURLs.Get(int32_t(line)));
    sites.push_back(FLineSites[line]);
  }
  if (sites == FLineSites)
    return;
  FURLs.Clear();
  for (const std::u16string &line : lines)
    FURLs.Add(line);
  FLineSites = std::move(sites);
  FURLsFile.Edited = true;
}
