// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/Settings.h"

#include "common/Integer.h"
#include "common/KvError.h"
#include "common/Unicode.h"
#include "platform/AutoStart.h"
#include "platform/FileSystem.h"
#include "platform/ProfileFile.h"

#include <algorithm>

namespace {

// A fixed text of its own, although it reads like the application title.
const std::u16string DataFolderName = u"Korvane Quillgate";
// The registration's name is the application title.
const std::u16string AutoRunName = u"Korvane Quillgate";

std::u16string InDataFolder(const IKvEnvironment &env, const char16_t *name) {
  return GetDataFolder(env) + PathSeparator + name;
}

// A value of section "Window"; 100 when it is missing or no integer.
int32_t ReadInteger(const std::u16string &configFile, const std::u16string &key) {
  return ParseInteger(ReadProfileText(configFile, u"Window", key, u"")).value_or(100);
}

// A number of seconds: fallback when it is missing, no integer or negative; a day at most.
int32_t ReadSeconds(const std::u16string &configFile, const std::u16string &section,
                    const std::u16string &key, int32_t fallback) {
  const std::optional<int32_t> seconds =
      ParseInteger(ReadProfileText(configFile, section, key, u""));
  if (!seconds || *seconds < 0)
    return fallback;
  return std::min(*seconds, LongestSeconds);
}

} // namespace

std::u16string GetLocalAppDataFolder(const IKvEnvironment &env) {
  return LocalAppDataFolder(env);
}

std::u16string GetDataFolder(const IKvEnvironment &env) {
  std::u16string base = GetLocalAppDataFolder(env);
  if (base.empty() || base.back() != PathSeparator) // a root folder ends in one already
    base += PathSeparator;
  return base + DataFolderName;
}

std::u16string GetMasterKeyFileName(const IKvEnvironment &env) {
  return InDataFolder(env, u"master.key");
}
std::u16string GetConfigFileName(const IKvEnvironment &env) {
  return InDataFolder(env, u"config.ini");
}
std::u16string GetURLsFileName(const IKvEnvironment &env) {
  return InDataFolder(env, u"urls.db");
}
std::u16string GetLoginsFileName(const IKvEnvironment &env) {
  return InDataFolder(env, u"logins.db");
}
std::u16string GetRecordsFileName(const IKvEnvironment &env) {
  return InDataFolder(env, u"records.db");
}

void EnsureDataFolder(const IKvEnvironment &env) {
  CreateDataFolder(GetDataFolder(env));
  RemoveStrayTemporaryFiles(GetDataFolder(env));
}

bool WindowPositionKept(std::u16string_view platformName) {
  return !platformName.starts_with(u"wayland");
}

TKvWindowPosition LoadWindowPosition(const std::u16string &configFile) {
  TKvWindowPosition position;
  position.Top = ReadInteger(configFile, u"Top");
  position.Left = ReadInteger(configFile, u"Left");
  return position;
}

void SaveWindowPosition(const std::u16string &configFile, int32_t top, int32_t left) {
  // Both keys in one write: a crash between two writes would pair the new Top with the old Left.
  const TKvProfileWrite written = WriteProfileTexts(
      configFile, u"Window",
      {{u"Top", Utf8ToUtf16(std::to_string(top))}, {u"Left", Utf8ToUtf16(std::to_string(left))}});
  // Also after a failure: whatever the system cached of the file must reach the disk.
  FlushProfileFile(configFile);
  if (!written)
    throw EKvError(u"Unable to write to " + configFile, written.Reason);
}

TKvSiteLines ReadSiteLines(const std::u16string &configFile) {
  try {
    ReadWholeFile(configFile); // the profile reader takes a file it cannot read for an empty one
  } catch (const EKvError &) {
    return TKvSiteLines::Unknown;
  }
  if (ReadProfileText(configFile, u"Sites", u"Lines", u"") == u"typed")
    return TKvSiteLines::Typed;
  // Only the window position, which every closing of older versions wrote, proves that the file
  // is the one they kept beside these lists.
  if (ReadProfileText(configFile, u"Window", u"Top", u"").empty() &&
      ReadProfileText(configFile, u"Window", u"Left", u"").empty())
    return TKvSiteLines::Unknown;
  return TKvSiteLines::NotRecorded;
}

void RecordSiteLinesTyped(const std::u16string &configFile) {
  const TKvProfileWrite written = WriteProfileText(configFile, u"Sites", u"Lines", u"typed");
  FlushProfileFile(configFile);
  if (!written)
    throw EKvError(u"Unable to write to " + configFile, written.Reason);
}

bool FingerprintShown(const std::u16string &configFile) {
  return ParseInteger(ReadProfileText(configFile, u"Fingerprint", u"Show", u"")).value_or(1) != 0;
}

int32_t LoadClipboardClearAfter(const std::u16string &configFile) {
  return ReadSeconds(configFile, u"Clipboard", u"ClearAfter", DefaultClipboardClearAfter);
}

int32_t LoadTrayWait(const std::u16string &configFile) {
  return ReadSeconds(configFile, u"Tray", u"WaitAtStart", DefaultTrayWait);
}

std::u16string GetAutoRun(const IKvEnvironment &env) {
  return ReadAutoStart(env, AutoRunName);
}

void SetAutoRun(const std::u16string &value, bool deleteEntry, const IKvEnvironment &env) {
  if (deleteEntry)
    RemoveAutoStart(env, AutoRunName);
  else
    WriteAutoStart(env, AutoRunName, value);
}
