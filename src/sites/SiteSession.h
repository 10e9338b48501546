// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window's rules for the sites and logins, for one opening of the window: what the
// opening and the closing do to urls.db, logins.db, records.db and config.ini; which site a click
// on its button chooses, and that the actions work on that site only while the URL box holds
// exactly its URL; what Generate records for a known or a new URL and a login; what Delete URL and
// Delete login remove; the rule and version each site's password is made with. The window shows
// what this holds and forwards the user's actions to it.

#include "sites/SiteRecords.h"
#include "sites/SiteStore.h"
#include "storage/Settings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What choosing a site puts into the window: its URL, the logins recorded for it, and the login
// last used with it (the empty login is one); none when none is recorded.
struct TKvSiteChoice {
  std::u16string URL;
  std::vector<std::u16string> Logins;
  std::optional<std::u16string> LastLogin;
};

// What a site's password is made of besides the master password, URL and login.
struct TKvPasswordRecipe {
  std::u16string Rules;     // in the password-rules language; empty: none
  std::u16string RulesFrom; // the known-rules domain it was taken from; empty: the user's own
  int32_t Version = 1;      // of the login's password, from 1

  bool operator==(const TKvPasswordRecipe &) const = default;
};

class TKvSiteSession {
public:
  TKvSiteSession(std::u16string urlsPath, std::u16string loginsPath, std::u16string configFile,
                 std::u16string recordsPath);

  // Reads the lists as config.ini's mark of the site lines says (TKvSiteStore::Load), and the
  // records; lines taken as typed, or rewritten at an opening that read both lists, are recorded
  // as typed. Raises the first read error once the sites it could take are there; TakeNotices
  // holds the rest.
  void Open();
  // The same reading, which writes nothing: for those who only look (the command line).
  void Read();
  // The closing, which may run any number of times: the mark of typed lines first (a config.ini
  // with a position but no mark would make typed lines look old), then the window's position
  // where it is kept, then what changed of the lists and the records. Every step runs; the first
  // error is raised.
  void Save(const std::optional<TKvWindowPosition> &position);
  // What the user should be told about the files; each once.
  std::vector<std::u16string> TakeNotices();

  const std::vector<TKvSite> &Sites() const { return FStore.Sites(); }
  void SetListener(IKvSiteListener *listener) { FStore.SetListener(listener); }
  const TKvURLs &URLs() const { return FStore.URLs(); }
  const TKvLogins &Logins() const { return FStore.Logins(); }

  // A click on the site's button: remembers the site and gives what the window shows of it.
  TKvSiteChoice Choose(int32_t position);
  // The remembered site's position; -1 for none (none chosen yet, or deleted since).
  int32_t Remembered() const;
  // Records what Generate derived a password for. A URL that differs from every site's in any
  // character, letter case included, gives another password and so is a new site, recorded after
  // the last with the login. The login of a known URL is recorded only for the remembered site
  // whose URL the box holds, so that a user who sees one URL never changes another site's data.
  // An empty login is never recorded. The login, the empty one too, becomes the site's last used
  // login where records can be kept. Raises the store's error for a site it cannot add.
  void RecordGenerated(const std::u16string &url, const std::u16string &login);
  // Delete URL with urlInView in the URL box: removes the remembered site with all its logins and
  // records, and forgets it. False, and nothing changes, when the box does not hold that site's
  // URL.
  bool DeleteSite(const std::u16string &urlInView);
  // Delete login: removes the remembered site's login that is exactly login, while the box holds
  // that site's URL; false when nothing was removed.
  bool DeleteLogin(const std::u16string &urlInView, const std::u16string &login);
  // The recipe for url and login: what is recorded for the remembered site while url is exactly
  // its URL, else for the first site whose URL is exactly url; records of another URL or login
  // (letter case counts) never apply. The plain recipe for a URL no site holds.
  TKvPasswordRecipe Recipe(const std::u16string &url, const std::u16string &login) const;
  // Records the rule (and where it came from) for the site Recipe takes for url; empty rules
  // remove it. A URL no site holds becomes a new site first, as Generate would add it. Raises the
  // error of ParsePasswordRules for rules that cannot be used, the store's error for a site it
  // cannot add, and an error when the lists or the records could not be read (what is recorded
  // then would be lost, and with it the password it gave); nothing changes then. Removing rules
  // of a URL no site holds changes nothing.
  void SetRules(const std::u16string &url, const std::u16string &rules,
                const std::u16string &rulesFrom);
  // Records the version of login's password for that site, as SetRules records a rule; version 1
  // removes the record. Raises for a version below 1.
  void SetVersion(const std::u16string &url, const std::u16string &login, int32_t version);
  // A button dragged elsewhere: its site moves among the sites; the remembered site stays the same.
  void MoveSite(const TKvListMove &move) { FStore.MoveSite(move); }

private:
  bool IsKnownURL(const std::u16string &url) const;
  // The site Recipe takes for url; none when no site holds it.
  std::optional<TKvSite> SiteFor(const std::u16string &url) const;
  // The site SetRules and SetVersion record for: SiteFor's, or a new one. None, and nothing
  // added, when add is false. Raises when records cannot be kept.
  std::optional<TKvSite> SiteToRecord(const std::u16string &url, bool add);
  // The remembered site's position while urlInView is exactly its URL; -1 otherwise.
  int32_t RememberedInView(const std::u16string &urlInView) const;
  void RecordLinesTyped();

  TKvSiteStore FStore;
  TKvSiteRecords FRecords;
  std::u16string FConfigFile;
  TKvSiteId FRemembered = 0;   // the site a click chose; 0 for none
  bool FLinesToRecord = false; // new site lines keep their URL as typed, not yet in config.ini
};
