// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The sites and logins the main window shows, with their two files: which site line gets a
// button, the URL each button holds, the order of the buttons, and how the files are written
// back so that nothing the user had is lost or replaced by less.

#include "common/KvTypes.h"
#include "sites/ListMove.h"
#include "sites/SiteDatabase.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A site's identity while the lists are open: it names the site in every action, whatever the
// site's position, and is never given to another site.
using TKvSiteId = uint64_t;

// One site as its button shows it.
struct TKvSite {
  TKvSiteId Id = 0;
  int32_t Index = 0;
  std::u16string URL;  // what a click on the button puts into the URL box
  std::u16string Host; // the button's caption is three spaces and the host
};

// Told of every change of the sites as it happens, by whoever shows them. A site is still there
// while SiteRemoving is told, and gone by SiteRemoved.
class IKvSiteListener {
public:
  virtual ~IKvSiteListener() = default;
  virtual void SitesLoaded() = 0; // every site is new
  virtual void SiteAdded(int32_t position) = 0;
  virtual void SiteRemoving(int32_t position) = 0;
  virtual void SiteRemoved(int32_t position) = 0;
  virtual void SiteMoved(const TKvListMove &move) = 0;
};

// What a site's button gave when buttons held only scheme and host: scheme + "://" + host, the
// host in brackets when it would not split back to itself without them (an IPv6 address); the URL
// itself when neither form splits back to its host, or when it does not split at all.
std::u16string SchemeAndHostURL(const std::u16string &url);

class TKvSiteStore {
public:
  TKvSiteStore(std::u16string urlsPath, std::u16string loginsPath);

  // Reads urls.db and logins.db as one step; Sites gives the sites in button order. Without urls.db
  // the example site is the only one, and a logins.db (whose sites are unknown) is kept aside as a
  // copy at the first save. A line without a valid index, or whose URL does not split, gets no
  // site and keeps its place.
  // rewriteOldLines: the lines were written when a site line held only scheme and host while a
  // button gave exactly that; each line is rewritten to what its button gave (LinesRewritten),
  // and the next save keeps the old file as "urls.db.before-rewrite.bak" first.
  // Sites and logins that an earlier session could not add to the lists ("<list>.new") are merged
  // in; TakeNotices says so.
  // When either list cannot be read, neither is taken: both files stay as they are, the sites
  // and logins of this session (and of earlier such sessions) are kept in "<list>.new" beside
  // them, and the read error is raised with what that means for the user.
  // largestElsewhere: the largest site index another file of the folder holds (records.db), which
  // a new site must not take either.
  void Load(bool rewriteOldLines, int32_t largestElsewhere = 0);
  // The sites in button order: as Load found them (also after it raised), with every change since.
  const std::vector<TKvSite> &Sites() const { return FSites; }
  // The site's position in Sites; none for an id no site has.
  std::optional<int32_t> PositionOf(TKvSiteId id) const;
  // Who is told of the changes of Sites; none when null.
  void SetListener(IKvSiteListener *listener) { FListener = listener; }
  // Whether both lists were read, and so will be written back.
  bool Loaded() const { return FLoaded; }
  bool LinesRewritten() const { return FLinesRewritten; }
  // From now on a new site's line keeps its URL as typed.
  void SetLinesTyped() { FLinesTyped = true; }

  // A new site for a URL as typed, after the last one. Its index is one more than the largest
  // found in either list since they were read, deleted sites' included: a closing cut short
  // between the two files may leave a deleted site's logins behind, and a new site must never
  // take them over. Raises the error of ParseURL for a URL that does not split, or "No free site
  // index"; nothing changes then.
  TKvSite AddSite(const std::u16string &url);
  // Removes the site's line with all the logins of its index; nothing for an unknown id.
  void RemoveSite(TKvSiteId id);
  // Moves a site among the sites, its line among the site lines; lines without a site stay where
  // they are. Nothing for a move that does not fit the sites or moves nothing.
  void MoveSite(const TKvListMove &move);

  // Records login for the site index unless that very text is recorded already (letter case
  // counts: it gives another password).
  void AddLogin(int32_t index, const std::u16string &login);
  // Removes the login line of the index that holds exactly login; false when there is none.
  bool RemoveLogin(int32_t index, const std::u16string &login);

  // Writes what changed since reading, each list in one replacement of its file: a list that did
  // not change is not rewritten, and one whose file is missing is written. Before a file is
  // replaced by lines that would not give back what it held (a rewrite, or bytes that were no
  // text), its old bytes are kept under the first free name of "<name>.<why>.bak",
  // "<name>.<why>.bak.1", ...; such a copy is never replaced. Without both lists loaded, the
  // session's sites and logins go to "<list>.new". Both lists are tried; the first error is raised.
  void Save();

  // What the user should be told about the files (copies kept, sites merged in); each once.
  std::vector<std::u16string> TakeNotices();

  const TKvURLs &URLs() const { return FURLs; }
  const TKvLogins &Logins() const { return FLogins; }

private:
  struct TListFile {
    std::u16string Path;
    ByteArray Bytes;       // as read, for the copy kept before it is replaced
    bool Missing = false;  // nothing of that name when read
    bool Edited = false;   // changed since read: to be written
    std::u16string KeepAs; // why the old bytes are kept before the next write; empty: not kept
  };

  void RewriteOldLines();
  void StartUnloaded();
  void MergeNewFiles();
  void FindSites();
  void SaveList(TListFile &file, const TKvStringList &list);
  void SaveNew(const TKvStringList &list, const std::u16string &path);
  std::vector<std::size_t> SiteLines() const;
  std::optional<std::size_t> LineOf(TKvSiteId id) const;
  void Reorder(const std::vector<std::size_t> &order);

  TListFile FURLsFile;
  TListFile FLoginsFile;
  TKvURLs FURLs;
  TKvLogins FLogins;
  std::vector<TKvSiteId> FLineSites; // per line of FURLs: the site its button stands for, or 0
  std::vector<TKvSite> FSites;       // in the order of their lines
  IKvSiteListener *FListener = nullptr;
  TKvSiteId FLastId = 0;
  int32_t FLargestIndex = 0;     // the largest index either list has held since reading
  int32_t FLargestElsewhere = 0; // the largest index another file of the folder holds
  bool FLoaded = false;
  bool FNewMerged = false; // the ".new" files are to go once the lists are written
  bool FNewUnreadable = false;
  bool FLinesTyped = true;
  bool FLinesRewritten = false;
  std::vector<std::u16string> FNotices;
};
