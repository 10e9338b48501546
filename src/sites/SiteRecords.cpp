// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/SiteRecords.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "platform/FileSystem.h"
#include "sites/KeptCopy.h"
#include "sites/SiteDatabase.h"

#include <limits>
#include <nlohmann/json.hpp>
#include <utility>

namespace {

// Fields keep the order they were read in, so that a record written back reads as before.
using TJson = nlohmann::ordered_json;

std::string Utf8(const std::u16string &text) {
  return Utf16ToUtf8(text);
}

// The object of a line "<index>:<JSON object>"; none when the line is not one.
std::optional<TJson> ObjectOf(const std::u16string &line, int32_t &index) {
  const std::optional<int32_t> found = SiteIndexOf(line);
  if (!found || !line.starts_with(IndexPrefix(*found)))
    return std::nullopt;
  TJson object = TJson::parse(Utf8(line.substr(IndexPrefix(*found).size())), nullptr, false);
  if (!object.is_object())
    return std::nullopt;
  index = *found;
  return object;
}

// The text of a string field; false when the field is there but no string.
bool ReadText(const TJson &object, const char *key, std::optional<std::u16string> &text) {
  const auto field = object.find(key);
  if (field == object.end())
    return true;
  if (!field->is_string())
    return false;
  text = Utf8ToUtf16(field->get_ref<const std::string &>());
  return true;
}

std::u16string LineOf(int32_t index, const TJson &object) {
  return IndexPrefix(index) +
         Utf8ToUtf16(object.dump(-1, ' ', false, TJson::error_handler_t::replace));
}

} // namespace

TKvSiteRecords::TKvSiteRecords(std::u16string path) : FPath(std::move(path)) {}

void TKvSiteRecords::Load() {
  if (NothingAt(FPath)) {
    // A new file is UTF-8 with its mark, as JSON text is, whatever the system's code page.
    FLines.LoadFromBytes({0xEF, 0xBB, 0xBF});
    FAsRead = FLines;
    FLoaded = true;
    return;
  }
  try {
    FBytes = ReadWholeFile(FPath);
  } catch (const EKvError &error) {
    throw EKvError(error.Text() +
                   u".\n\nThe file is left as it is, and none of the site rules and password "
                   u"versions it holds applies now: a site with one gives another password until "
                   u"the file can be read, and none can be changed meanwhile. Make the file "
                   u"readable again, then open the window again.");
  }
  FLines.LoadFromBytes(FBytes);
  // The bytes as read are needed only for a copy to keep.
  if (FLines.ReadWithoutLoss())
    ByteArray().swap(FBytes);
  FAsRead = FLines;
  FRecords.clear();
  for (int32_t position = 0; position < FLines.Count(); ++position)
    FRecords.push_back(Parse(FLines.Get(position)));
  FLoaded = true;
}

std::optional<TKvSiteRecords::TRecord> TKvSiteRecords::Parse(const std::u16string &line) {
  TRecord record;
  const std::optional<TJson> object = ObjectOf(line, record.Index);
  if (!object)
    return std::nullopt;
  std::optional<std::u16string> url;
  if (!ReadText(*object, "url", url) || !url || !ReadText(*object, "login", record.Login))
    return std::nullopt;
  record.URL = std::move(*url);
  if (record.Login) {
    const auto version = object->find("version");
    if (version != object->end()) {
      if (!version->is_number_integer() || *version < 1 ||
          *version > std::numeric_limits<int32_t>::max())
        return std::nullopt;
      record.Version = version->get<int32_t>();
    }
    return record;
  }
  std::optional<std::u16string> from;
  if (!ReadText(*object, "rules", record.Rules) || !ReadText(*object, "from", from) ||
      !ReadText(*object, "last-login", record.LastLogin))
    return std::nullopt;
  record.From = from.value_or(u"");
  return record;
}

std::optional<int32_t> TKvSiteRecords::Find(int32_t index, const std::u16string &url,
                                            const std::optional<std::u16string> &login) const {
  for (std::size_t position = 0; position < FRecords.size(); ++position) {
    const std::optional<TRecord> &record = FRecords[position];
    if (record && record->Index == index && record->URL == url && record->Login == login)
      return int32_t(position);
  }
  return std::nullopt;
}

std::optional<TKvSiteRecords::TRule> TKvSiteRecords::Rule(int32_t index,
                                                          const std::u16string &url) const {
  const std::optional<int32_t> found = Find(index, url, std::nullopt);
  if (!found || !FRecords[std::size_t(*found)]->Rules)
    return std::nullopt;
  const TRecord &record = *FRecords[std::size_t(*found)];
  return TRule{*record.Rules, record.From};
}

int32_t TKvSiteRecords::Version(int32_t index, const std::u16string &url,
                                const std::u16string &login) const {
  const std::optional<int32_t> found = Find(index, url, login);
  return found ? FRecords[std::size_t(*found)]->Version : 1;
}

std::optional<std::u16string> TKvSiteRecords::LastLogin(int32_t index,
                                                        const std::u16string &url) const {
  const std::optional<int32_t> found = Find(index, url, std::nullopt);
  return found ? FRecords[std::size_t(*found)]->LastLogin : std::nullopt;
}

void TKvSiteRecords::SetLastLogin(int32_t index, const std::u16string &url,
                                  const std::u16string &login) {
  RefuseUnloaded();
  const std::optional<int32_t> found = Find(index, url, std::nullopt);
  int32_t ignored = 0;
  TJson object =
      found ? *ObjectOf(FLines.Get(*found), ignored) : TJson::object({{"url", Utf8(url)}});
  object["last-login"] = Utf8(login);
  Put(found.value_or(FLines.Count()), LineOf(index, object));
}

void TKvSiteRecords::RefuseUnloaded() const {
  if (!FLoaded)
    throw EKvError(u"The site's rule and password version cannot be recorded: \"" + FPath +
                   u"\" could not be read");
}

void TKvSiteRecords::SetRule(int32_t index, const std::u16string &url, const std::u16string &rules,
                             const std::u16string &from) {
  RefuseUnloaded();
  if (rules.empty()) {
    RemoveFields(index, url, std::nullopt, {"rules", "from"});
    return;
  }
  const std::optional<int32_t> found = Find(index, url, std::nullopt);
  int32_t ignored = 0;
  TJson object =
      found ? *ObjectOf(FLines.Get(*found), ignored) : TJson::object({{"url", Utf8(url)}});
  object["rules"] = Utf8(rules);
  if (from.empty())
    object.erase("from");
  else
    object["from"] = Utf8(from);
  Put(found.value_or(FLines.Count()), LineOf(index, object));
}

void TKvSiteRecords::SetVersion(int32_t index, const std::u16string &url,
                                const std::u16string &login, int32_t version) {
  RefuseUnloaded();
  if (version <= 1) {
    RemoveFields(index, url, login, {"version"});
    return;
  }
  const std::optional<int32_t> found = Find(index, url, login);
  int32_t ignored = 0;
  TJson object = found ? *ObjectOf(FLines.Get(*found), ignored)
                       : TJson::object({{"url", Utf8(url)}, {"login", Utf8(login)}});
  object["version"] = version;
  Put(found.value_or(FLines.Count()), LineOf(index, object));
}

void TKvSiteRecords::RemoveFields(int32_t index, const std::u16string &url,
                                  const std::optional<std::u16string> &login,
                                  std::initializer_list<const char *> fields) {
  for (int32_t position = FLines.Count() - 1; position >= 0; --position) {
    const std::optional<TRecord> &record = FRecords[std::size_t(position)];
    if (!record || record->Index != index || record->URL != url || record->Login != login)
      continue;
    int32_t ignored = 0;
    TJson object = *ObjectOf(FLines.Get(position), ignored);
    for (const char *field : fields)
      object.erase(field);
    // A record with nothing besides what names it says nothing.
    if (object.size() == (login ? 2U : 1U))
      Delete(position);
    else
      Put(position, LineOf(index, object));
  }
}

void TKvSiteRecords::RemoveSite(int32_t index, const std::u16string &url) {
  if (!FLoaded)
    return;
  for (int32_t position = FLines.Count() - 1; position >= 0; --position) {
    const std::optional<TRecord> &record = FRecords[std::size_t(position)];
    if (record && record->Index == index && record->URL == url)
      Delete(position);
  }
}

void TKvSiteRecords::Put(int32_t position, const std::u16string &line) {
  if (position < FLines.Count()) {
    if (FLines.Get(position) == line)
      return;
    FLines.Set(position, line);
    FRecords[std::size_t(position)] = Parse(line);
  } else {
    FLines.Add(line);
    FRecords.push_back(Parse(line));
  }
}

void TKvSiteRecords::Delete(int32_t position) {
  FLines.Delete(position);
  FRecords.erase(FRecords.begin() + position);
}

bool TKvSiteRecords::Changed() const {
  if (FLines.Count() != FAsRead.Count())
    return true;
  for (int32_t position = 0; position < FLines.Count(); ++position)
    if (FLines.Get(position) != FAsRead.Get(position))
      return true;
  return false;
}

void TKvSiteRecords::Save() {
  // Records set and removed again are no change: a missing file stays missing.
  if (!FLoaded || !Changed())
    return;
  if (!FBytes.empty()) {
    const std::u16string copy = KeepCopy(FPath, InvalidTextCopy, FBytes);
    FNotices.push_back(InvalidTextNotice(FPath, copy, u"a site's rule or version"));
    ByteArray().swap(FBytes);
  }
  FLines.SaveToFile(FPath);
  FAsRead = FLines;
}

std::vector<std::u16string> TKvSiteRecords::TakeNotices() {
  return std::exchange(FNotices, {});
}
