#include "storage/Settings.h"

#include "common/HexDigit.h"
#include "common/KvError.h"
#include "common/Unicode.h"
#include "platform/AutoStart.h"
#include "platform/FileSystem.h"
#include "platform/ProfileFile.h"

namespace {

// A fixed text of its own, although it reads like the application title.
const std::u16string DataFolderName = u"Korvane Quillgate";
// The registration's name is the application title.
const std::u16string AutoRunName = u"Korvane Quillgate";

std::u16string InDataFolder(const IKvEnvironment &env, const char16_t *name) {
  return GetDataFolder(env) + PathSeparator + name;
}

int32_t ReadInteger(const std::u16string &configFile, const std::u16string &key) {
  int32_t value = 0;
  if (ProfileTextToInteger(ReadProfileText(configFile, u"Window", key, u""), value))
    return value;
  return 100;
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

void EnsureDataFolder(const IKvEnvironment &env) {
  CreateDataFolder(GetDataFolder(env));
}

bool ProfileTextToInteger(const std::u16string &text, int32_t &value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == u' ')
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
    negative = text[i++] == u'-';
  const std::u16string_view rest = std::u16string_view(text).substr(i);
  if (rest.empty())
    return false;

  std::size_t digits = 0;
  if (rest[0] == u'$' || rest[0] == u'x' || rest[0] == u'X')
    digits = 1;
  else if (rest.size() >= 2 && rest[0] == u'0' && (rest[1] == u'x' || rest[1] == u'X'))
    digits = 2;
  if (digits != 0) {
    const std::u16string_view hex = rest.substr(digits);
    if (hex.empty())
      return false;
    uint32_t bits = 0;
    int significant = 0;
    for (char16_t c : hex) {
      const int d = HexDigitValue(c);
      if (d < 0)
        return false;
      if (significant > 0 || d != 0)
        ++significant;
      if (significant > 8)
        return false;
      bits = (bits << 4) | uint32_t(d);
    }
    // The 32 bits are a signed number; "-" negates it (wrapping, as 32-bit arithmetic does).
    value = int32_t(negative ? 0u - bits : bits);
    return true;
  }

  int64_t magnitude = 0;
  for (char16_t c : rest) {
    if (c < u'0' || c > u'9')
      return false;
    magnitude = magnitude * 10 + (c - u'0');
    if (magnitude > 2147483648LL)
      return false;
  }
  const int64_t result = negative ? -magnitude : magnitude;
  if (result > 2147483647LL)
    return false;
  value = int32_t(result);
  return true;
}

TKvWindowPosition LoadWindowPosition(const std::u16string &configFile) {
  TKvWindowPosition position;
  position.Top = ReadInteger(configFile, u"Top");
  position.Left = ReadInteger(configFile, u"Left");
  return position;
}

void SaveWindowPosition(const std::u16string &configFile, int32_t top, int32_t left) {
  bool written = true;
  for (const auto &[key, value] : {std::pair{u"Top", top}, std::pair{u"Left", left}}) {
    written = WriteProfileText(configFile, u"Window", key, Utf8ToUtf16(std::to_string(value)));
    if (!written)
      break;
  }
  // Also after a failure: whatever the system cached of the file must reach the disk.
  FlushProfileFile(configFile);
  if (!written)
    throw EKvError(u"Unable to write to " + configFile);
}

bool SiteLinesAreTyped(const std::u16string &configFile) {
  return ReadProfileText(configFile, u"Sites", u"Lines", u"") == u"typed";
}

void RecordSiteLinesTyped(const std::u16string &configFile) {
  const bool written = WriteProfileText(configFile, u"Sites", u"Lines", u"typed");
  FlushProfileFile(configFile);
  if (!written)
    throw EKvError(u"Unable to write to " + configFile);
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
