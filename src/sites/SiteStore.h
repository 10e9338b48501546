// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The sites and logins the main window shows, with their two files: which site line gets a
// button, the URL each button holds, the order of the buttons, and how the files are written
// back so that nothing the user had is lost.

#include "sites/SiteDatabase.h"

#include <cstdint>
#include <string>
#include <vector>

// One site as its button shows it.
struct TKvSite {
  int32_t Index = 0;
  std::u16string URL;  // what a click on the button puts into the URL box
  std::u16string Host; // the button's caption is three spaces and the host
};

// What a site's button gave when buttons held only scheme and host: scheme + "://" + host, the
// host in brackets when it would not split back to itself without them (an IPv6 address); the URL
// itself when neither form splits back to its host, or when it does not split at all.
std::u16string SchemeAndHostURL(const std::u16string &url);

class TKvSiteStore {
public:
  TKvSiteStore(std::u16string urlsPath, std::u16string loginsPath);

  // Reads urls.db, then logins.db, and gives the sites in button order. Without urls.db the
  // example site is the only one, and logins.db (whose sites are unknown) is not read. A line
  // without a valid index, or whose URL does not split, gets no site and keeps its place.
  // linesTyped false: the lines were written when a site line held only scheme and host while a
  // button gave exactly that; each line is rewritten to what its button gave (LinesRewritten).
  // Raises the read error of a file that cannot be read; the lists hold what was read before.
  std::vector<TKvSite> Load(bool linesTyped);
  bool LinesRewritten() const { return FLinesRewritten; }
  // From now on a new site's line keeps its URL as typed.
  void SetLinesTyped() { FLinesTyped = true; }

  // A new site for a URL as typed, after the last one. Its index is one more than the largest
  // found in either list since they were read, deleted sites' included: a closing cut short
  // between the two files may leave a deleted site's logins behind, and a new site must never
  // take them over. Raises the error of ParseURL for a URL
  // that does not split, or "No free site index"; nothing changes then.
  TKvSite AddSite(const std::u16string &url);
  // Removes the site at a button position, with all its logins.
  void RemoveSite(int position);
  // Moves the site at button position from to position to. Lines without a site stay where
  // they are.
  void MoveSite(int from, int to);

  // Each replaces its file with its list. A file whose content never reached the list (one
  // that could not be read, or a logins.db without its urls.db) is kept as <name>.bak first.
  void SaveURLs() const;
  void SaveLogins() const;

  const TKvURLs &URLs() const { return FURLs; }
  TKvLogins &Logins() { return FLogins; }
  const TKvLogins &Logins() const { return FLogins; }

private:
  std::vector<std::size_t> SiteLines() const;
  void ReplaceLines(const std::vector<std::u16string> &lines);

  std::u16string FURLsPath;
  std::u16string FLoginsPath;
  TKvURLs FURLs;
  TKvLogins FLogins;
  std::vector<bool> FHasSite; // per line of FURLs: whether a button stands for it
  int32_t FLargestIndex = 0;  // the largest index either list has held since reading
  bool FURLsLoaded = false;
  bool FLoginsLoaded = false;
  bool FLinesTyped = true;
  bool FLinesRewritten = false;
};
