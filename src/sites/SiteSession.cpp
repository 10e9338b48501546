// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/SiteSession.h"

#include "common/KvError.h"

#include <algorithm>
#include <memory>
#include <utility>

TKvSiteSession::TKvSiteSession(std::u16string urlsPath, std::u16string loginsPath,
                               std::u16string configFile)
    : FStore(std::move(urlsPath), std::move(loginsPath)), FConfigFile(std::move(configFile)) {}

void TKvSiteSession::Open() {
  const TKvSiteLines lines = ReadSiteLines(FConfigFile);
  // Sites come for whatever the store could take, also when it could not read the lists.
  TKvFirstError loadError;
  loadError.Run([&] { FStore.Load(lines == TKvSiteLines::NotRecorded); });
  // Lines from before typed URLs are rewritten only at an opening that read both lists, and only
  // then recorded; lines taken as typed are recorded as such, so that a config.ini written later
  // never makes them look old.
  FLinesToRecord =
      lines == TKvSiteLines::Unknown || (lines == TKvSiteLines::NotRecorded && FStore.Loaded());
  RecordLinesTyped();
  loadError.Raise();
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
  firstError.Raise();
}

TKvSiteChoice TKvSiteSession::Choose(int32_t position) {
  const TKvSite &site = Sites().at(std::size_t(position));
  FRemembered = site.Id;
  TKvSiteChoice choice{site.URL, {}};
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
  if (IsKnownURL(url)) {
    const int32_t remembered = RememberedInView(url);
    if (remembered >= 0 && !login.empty())
      FStore.AddLogin(Sites()[std::size_t(remembered)].Index, login);
    return;
  }
  const TKvSite site = FStore.AddSite(url);
  if (!login.empty())
    FStore.AddLogin(site.Index, login);
}

bool TKvSiteSession::DeleteSite(const std::u16string &urlInView) {
  const int32_t remembered = RememberedInView(urlInView);
  if (remembered < 0 || urlInView.empty())
    return false;
  FStore.RemoveSite(Sites()[std::size_t(remembered)].Id);
  FRemembered = 0;
  return true;
}

bool TKvSiteSession::DeleteLogin(const std::u16string &urlInView, const std::u16string &login) {
  const int32_t remembered = RememberedInView(urlInView);
  if (remembered < 0 || urlInView.empty())
    return false;
  return FStore.RemoveLogin(Sites()[std::size_t(remembered)].Index, login);
}
