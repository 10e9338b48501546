// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/SiteSession.h"

#include "common/KvError.h"
#include "crypto/PasswordRules.h"

#include <algorithm>
#include <memory>
#include <utility>

TKvSiteSession::TKvSiteSession(std::u16string urlsPath, std::u16string loginsPath,
                               std::u16string configFile, std::u16string recordsPath)
    : FStore(std::move(urlsPath), std::move(loginsPath)), FRecords(std::move(recordsPath)),
      FConfigFile(std::move(configFile)) {}

void TKvSiteSession::Open() {
  TKvFirstError readError;
  readError.Run([this] { Read(); });
  RecordLinesTyped();
  readError.Raise();
}

void TKvSiteSession::Read() {
  const TKvSiteLines lines = ReadSiteLines(FConfigFile);
  // Sites come for whatever the store could take, also when it could not read the lists.
  TKvFirstError recordsError, listsError;
  recordsError.Run([this] { FRecords.Load(); });
  // A new site never takes an index the records still name: a closing cut short between the
  // lists and the records may leave a deleted site's records behind.
  listsError.Run(
      [&] { FStore.Load(lines == TKvSiteLines::NotRecorded, LargestSiteIndex(FRecords.Lines())); });
  // Lines from before typed URLs are rewritten only at an opening that read both lists, and only
  // then recorded; lines taken as typed are recorded as such, so that a config.ini written later
  // never makes them look old.
  FLinesToRecord =
      lines == TKvSiteLines::Unknown || (lines == TKvSiteLines::NotRecorded && FStore.Loaded());
  // The lists' error first: without them the window shows no site at all.
  listsError.Raise();
  recordsError.Raise();
}

void TKvSiteSession::RecordLinesTyped() {
  if (!FLinesToRecord)
    return;
  // Rewritten lines reach the disk before config.ini records them, so a failure in between only
  // repeats the rewrite at the next opening, and until it is recorded new sites are listed as
  // before. A folder that takes no writes is reported by the closing.
  try {
    if (FStore.LinesRewritten())
      FStore.Save();
    RecordSiteLinesTyped(FConfigFile);
    FStore.SetLinesTyped();
    FLinesToRecord = false;
  } catch (const EKvError &) {
  }
}

void TKvSiteSession::Save(const std::optional<TKvWindowPosition> &position) {
  RecordLinesTyped();
  TKvFirstError firstError;
  if (position)
    firstError.Run([&] { SaveWindowPosition(FConfigFile, position->Top, position->Left); });
  firstError.Run([&] { FStore.Save(); });
  firstError.Run([&] { FRecords.Save(); });
  firstError.Raise();
}

std::vector<std::u16string> TKvSiteSession::TakeNotices() {
  std::vector<std::u16string> notices = FStore.TakeNotices();
  for (std::u16string &notice : FRecords.TakeNotices())
    notices.push_back(std::move(notice));
  return notices;
}

TKvSiteChoice TKvSiteSession::Choose(int32_t position) {
  const TKvSite &site = Sites().at(std::size_t(position));
  FRemembered = site.Id;
  TKvSiteChoice choice{site.URL, {}, FRecords.LastLogin(site.Index, site.URL)};
  const std::unique_ptr<TKvStringList> logins = FStore.Logins().LoginsByIndex(site.Index);
  for (int32_t i = 0; i < logins->Count(); ++i)
    choice.Logins.push_back(logins->Get(i));
  return choice;
}

int32_t TKvSiteSession::Remembered() const {
  return FStore.PositionOf(FRemembered).value_or(-1);
}

bool TKvSiteSession::IsKnownURL(const std::u16string &url) const {
  return std::any_of(Sites().begin(), Sites().end(),
                     [&](const TKvSite &site) { return site.URL == url; });
}

int32_t TKvSiteSession::RememberedInView(const std::u16string &urlInView) const {
  const int32_t remembered = Remembered();
  if (remembered < 0 || Sites()[std::size_t(remembered)].URL != urlInView)
    return -1;
  return remembered;
}

void TKvSiteSession::RecordGenerated(const std::u16string &url, const std::u16string &login) {
  std::optional<TKvSite> site;
  if (!IsKnownURL(url))
    site = FStore.AddSite(url);
  else if (const int32_t remembered = RememberedInView(url); remembered >= 0)
    site = Sites()[std::size_t(remembered)];
  if (!site)
    return;
  if (!login.empty())
    FStore.AddLogin(site->Index, login);
  // The last login is a convenience: a file that cannot be kept costs it, never the password.
  if (FStore.Loaded() && FRecords.Loaded())
    FRecords.SetLastLogin(site->Index, site->URL, login);
}

bool TKvSiteSession::DeleteSite(const std::u16string &urlInView) {
  const int32_t remembered = RememberedInView(urlInView);
  if (remembered < 0 || urlInView.empty())
    return false;
  const TKvSite site = Sites()[std::size_t(remembered)];
  FStore.RemoveSite(site.Id);
  // Records of sites the store holds only in its ".new" files are not the records' sites.
  if (FStore.Loaded())
    FRecords.RemoveSite(site.Index, site.URL);
  FRemembered = 0;
  return true;
}

bool TKvSiteSession::DeleteLogin(const std::u16string &urlInView, const std::u16string &login) {
  const int32_t remembered = RememberedInView(urlInView);
  if (remembered < 0 || urlInView.empty())
    return false;
  return FStore.RemoveLogin(Sites()[std::size_t(remembered)].Index, login);
}

std::optional<TKvSite> TKvSiteSession::SiteFor(const std::u16string &url) const {
  if (const int32_t remembered = RememberedInView(url); remembered >= 0)
    return Sites()[std::size_t(remembered)];
  const auto found = std::find_if(Sites().begin(), Sites().end(),
                                  [&](const TKvSite &site) { return site.URL == url; });
  if (found == Sites().end())
    return std::nullopt;
  return *found;
}

TKvPasswordRecipe TKvSiteSession::Recipe(const std::u16string &url,
                                         const std::u16string &login) const {
  TKvPasswordRecipe recipe;
  const std::optional<TKvSite> site = SiteFor(url);
  if (!site)
    return recipe;
  if (const auto rule = FRecords.Rule(site->Index, site->URL)) {
    recipe.Rules = rule->Rules;
    recipe.RulesFrom = rule->From;
  }
  recipe.Version = FRecords.Version(site->Index, site->URL, login);
  return recipe;
}

std::optional<TKvSite> TKvSiteSession::SiteToRecord(const std::u16string &url, bool add) {
  // A site of the ".new" files takes another index when they are merged, and would lose its
  // records there.
  if (!FStore.Loaded())
    throw EKvError(u"The site's rule and password version cannot be recorded while the site "
                   u"list cannot be read");
  FRecords.RefuseUnloaded();
  if (std::optional<TKvSite> site = SiteFor(url))
    return site;
  if (!add)
    return std::nullopt;
  return FStore.AddSite(url);
}

void TKvSiteSession::SetRules(const std::u16string &url, const std::u16string &rules,
                              const std::u16string &rulesFrom) {
  const bool none = NoPasswordRules(rules);
  if (!none)
    ParsePasswordRules(rules);
  if (const std::optional<TKvSite> site = SiteToRecord(url, !none))
    FRecords.SetRule(site->Index, site->URL, none ? std::u16string() : rules,
                     none ? std::u16string() : rulesFrom);
}

void TKvSiteSession::SetVersion(const std::u16string &url, const std::u16string &login,
                                int32_t version) {
  if (version < 1)
    throw EKvError(u"A password's version is 1 or more.");
  if (const std::optional<TKvSite> site = SiteToRecord(url, version > 1))
    FRecords.SetVersion(site->Index, site->URL, login, version);
}
