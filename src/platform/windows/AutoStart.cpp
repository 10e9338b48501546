// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AutoStart.h"

#include "common/KvError.h"
#include "platform/windows/WideText.h"

#include <vector>
#include <windows.h>

// Start at log-on is a value under the current user's Run key, which the shell reads at log-on.

namespace {

const std::u16string RunKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

[[noreturn]] void Fail(const char16_t *what, const std::u16string &name) {
  throw EKvError(what + (u"'" + name + u"'"));
}

// Closes the key on every path out of an operation.
class TRunKey {
public:
  TRunKey() {
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(RunKey), 0, KEY_ALL_ACCESS, &FKey) != ERROR_SUCCESS)
      FKey = nullptr;
  }
  ~TRunKey() {
    if (FKey)
      RegCloseKey(FKey);
  }
  TRunKey(const TRunKey &) = delete;
  TRunKey &operator=(const TRunKey &) = delete;
  explicit operator bool() const { return FKey != nullptr; }
  HKEY Handle() const { return FKey; }

private:
  HKEY FKey = nullptr;
};

// A path with a space goes in quotes: unquoted, the system would try "C:\Program.exe" for
// "C:\Program Files\...\quillgate.exe" first, and whoever can put such a file there would be run.
std::u16string QuotedWhereNeeded(const std::u16string &path) {
  if (path.find(u' ') == std::u16string::npos)
    return path;
  return u'"' + path + u'"';
}

std::u16string WithoutEnclosingQuotes(const std::u16string &text) {
  if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"')
    return text.substr(1, text.size() - 2);
  return text;
}

} // namespace

std::u16string ReadAutoStart(const IKvEnvironment &, const std::u16string &name) {
  const TRunKey key;
  if (!key)
    return {};
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExW(key.Handle(), Wide(name), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      size == 0)
    return {};
  // Room for a terminating NUL that the stored data may lack.
  std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
  DWORD read = size;
  if (RegQueryValueExW(key.Handle(), Wide(name), nullptr, &type,
                       reinterpret_cast<BYTE *>(data.data()), &read) != ERROR_SUCCESS)
    Fail(u"Failed to get data for ", name);
  if (type != REG_SZ && type != REG_EXPAND_SZ) // an expandable string is taken as it stands
    Fail(u"Invalid data type for ", name);
  return WithoutEnclosingQuotes(FromWide(data.data())); // up to the first NUL
}

void WriteAutoStart(const IKvEnvironment &, const std::u16string &name,
                    const std::u16string &programPath) {
  HKEY created = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, Wide(RunKey), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &created, nullptr) != ERROR_SUCCESS)
    throw EKvError(u"Failed to create key " + RunKey);
  RegCloseKey(created);

  const TRunKey key;
  if (!key)
    return;
  const std::u16string value = QuotedWhereNeeded(programPath);
  const DWORD size = DWORD((value.size() + 1) * sizeof(wchar_t)); // with its terminating NUL
  if (RegSetValueExW(key.Handle(), Wide(name), 0, REG_SZ,
                     reinterpret_cast<const BYTE *>(Wide(value)), size) != ERROR_SUCCESS)
    Fail(u"Failed to set data for ", name);
}

void RemoveAutoStart(const IKvEnvironment &, const std::u16string &name) {
  LSTATUS deleted = ERROR_ACCESS_DENIED; // also when the key cannot be opened for the change
  {
    const TRunKey key;
    if (key)
      deleted = RegDeleteValueW(key.Handle(), Wide(name)); // the key itself stays
  }
  // A missing key or value is nothing to remove; a value that stays is reported.
  if (deleted != ERROR_SUCCESS &&
      RegGetValueW(HKEY_CURRENT_USER, Wide(RunKey), Wide(name), RRF_RT_ANY, nullptr, nullptr,
                   nullptr) != ERROR_FILE_NOT_FOUND)
    Fail(u"Failed to delete data for ", name);
}
