// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// records.db: what a site's password is made of besides the master password, URL and login. Each
// line is "<index>:<JSON object>", the index a site index as in urls.db. A site's record is
// {"url": <the site's URL>, "rules": <rule text>, "from": <known-rules domain>, "last-login":
// <the login last used with it>}, each field but "url" optional, a login's
// {"url": ..., "login": <login>, "version": N}. A record applies only while its index holds
// exactly its URL, and a login's only to that very login (letter case counts), so a new site
// that takes a deleted site's index never inherits its rule. The first record of a site (of a
// login) is the one that counts. A line that is no such record is kept in its place, and fields
// of a record that this version does not know are kept with it.

#include "common/KvTypes.h"
#include "sites/StringList.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

class TKvSiteRecords {
public:
  explicit TKvSiteRecords(std::u16string path);

  // Reads the file; a missing one holds no records. A file that cannot be read is never written:
  // no record applies and none can be changed (the changes would be lost, and with them the
  // passwords they gave), and its read error is raised with what that means for the user.
  void Load();
  // Whether the file was read, so that records can be changed.
  bool Loaded() const { return FLoaded; }
  // Raises, saying why, when records cannot be changed (the file could not be read).
  void RefuseUnloaded() const;

  struct TRule {
    std::u16string Rules;
    std::u16string From; // empty: the user's own
  };
  // The rule recorded for the site of index whose URL is url; none when there is none.
  std::optional<TRule> Rule(int32_t index, const std::u16string &url) const;
  // The version recorded for login at that site; 1 when there is none.
  int32_t Version(int32_t index, const std::u16string &url, const std::u16string &login) const;

  // The login last used with the site of index whose URL is url (the empty login is one); none
  // when none is recorded.
  std::optional<std::u16string> LastLogin(int32_t index, const std::u16string &url) const;
  // Records login as the one last used with that site. Raises when the file could not be read;
  // nothing changes then.
  void SetLastLogin(int32_t index, const std::u16string &url, const std::u16string &login);

  // Records rules (from where they came; empty: the user's own) for that site; empty rules
  // remove the rule from every record of the site. The rule text is kept exactly as given.
  // Raises when the file could not be read; nothing changes then.
  void SetRule(int32_t index, const std::u16string &url, const std::u16string &rules,
               const std::u16string &from);
  // Records version for login at that site; version 1 (or below) removes it from every record of
  // the login. Raises when the file could not be read; nothing changes then.
  void SetVersion(int32_t index, const std::u16string &url, const std::u16string &login,
                  int32_t version);
  // Removes every record of that site and its logins (a deleted site); nothing when the file
  // could not be read, whose records never apply to another site anyway.
  void RemoveSite(int32_t index, const std::u16string &url);

  // Writes the file in one replacement when its lines differ from those read (or last written),
  // and never else: a missing file is created only for a record. A file whose bytes were no text is
  // kept as "records.db.invalid-text.bak" (or the next free name) first.
  void Save();
  // What the user should be told about the file (a copy kept); each once.
  std::vector<std::u16string> TakeNotices();

  // The lines as they will be written.
  const TKvStringList &Lines() const { return FLines; }

private:
  struct TRecord {
    int32_t Index = 0;
    std::u16string URL;
    std::optional<std::u16string> Login; // a login's record; none: the site's
    std::optional<std::u16string> Rules;
    std::u16string From;
    std::optional<std::u16string> LastLogin;
    int32_t Version = 1;
  };

  // The record a line holds; none for a line that is no record.
  static std::optional<TRecord> Parse(const std::u16string &line);
  // The position of the first record of the site (login: of that login); none when there is none.
  std::optional<int32_t> Find(int32_t index, const std::u16string &url,
                              const std::optional<std::u16string> &login) const;
  // Removes fields from every record of the site or login, and the lines left with no more than
  // the record's keys.
  void RemoveFields(int32_t index, const std::u16string &url,
                    const std::optional<std::u16string> &login,
                    std::initializer_list<const char *> fields);
  // Puts line at position, or after the last line for position Count.
  void Put(int32_t position, const std::u16string &line);
  void Delete(int32_t position);
  bool Changed() const;

  std::u16string FPath;
  TKvStringList FLines;
  std::vector<std::optional<TRecord>> FRecords; // per line: none for a line that is no record
  TKvStringList FAsRead;                        // the lines as last read or written
  ByteArray FBytes; // as read, while a copy is to be kept before the next write
  bool FLoaded = false;
  std::vector<std::u16string> FNotices;
};
