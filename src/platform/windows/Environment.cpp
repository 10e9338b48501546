// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Environment.h"

#include "common/Unicode.h"
#include "platform/FileSystem.h"
#include "platform/windows/WideText.h"

#include <windows.h>
// after windows.h, which they build on
#include <shlobj.h>
#include <vector>

namespace {

class TKvProcessEnvironment : public IKvEnvironment {
public:
  std::optional<std::string> Variable(const std::string &name) const override {
    const std::u16string wideName = Utf8ToUtf16(name);
    const DWORD size = GetEnvironmentVariableW(Wide(wideName), nullptr, 0);
    if (size == 0)
      return std::nullopt;
    std::vector<wchar_t> buffer(size);
    const DWORD length = GetEnvironmentVariableW(Wide(wideName), buffer.data(), size);
    if (length >= size)
      return std::nullopt; // changed between the two calls
    return Utf16ToUtf8(FromWide(buffer.data(), length));
  }
  std::string AccountHomeFolder() const override { return Utf16ToUtf8(KnownFolder(CSIDL_PROFILE)); }
  std::u16string SystemLocalAppDataFolder() const override {
    return KnownFolder(CSIDL_LOCAL_APPDATA);
  }

private:
  static std::u16string KnownFolder(int id) {
    // The folder's current path, for the current user, with no owner window.
    wchar_t path[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathW(nullptr, id, nullptr, SHGFP_TYPE_CURRENT, path)))
      return {};
    return FromWide(path);
  }
};

bool IsAbsolute(const std::u16string &path) {
  // A drive's root ("C:\") or a share ("\\server\share").
  return (path.size() >= 3 && path[1] == u':' && (path[2] == u'\\' || path[2] == u'/')) ||
         (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\');
}

} // namespace

const IKvEnvironment &ProcessEnvironment() {
  static const TKvProcessEnvironment environment; // stateless
  return environment;
}

std::u16string LocalAppDataFolder(const IKvEnvironment &env) {
  if (std::u16string folder = env.SystemLocalAppDataFolder(); !folder.empty())
    return folder;
  if (const auto variable = env.Variable("LOCALAPPDATA")) {
    if (std::u16string folder = Utf8ToUtf16(*variable); IsAbsolute(folder))
      return folder;
  }
  wchar_t windows[MAX_PATH + 1] = {};
  const UINT length = GetWindowsDirectoryW(windows, MAX_PATH + 1);
  return length > 0 && length <= MAX_PATH ? FromWide(windows, length) : u"C:\\Windows";
}

bool CreateDataFolder(const std::u16string &path) {
  // Only the one folder: its parent is the system's own folder, which always exists.
  auto isFolder = [&path] {
    const DWORD attributes = GetFileAttributesW(Wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  };
  return isFolder() || CreateDirectoryW(Wide(path), nullptr) || isFolder();
}

std::u16string UserRuntimeFolder(const IKvEnvironment & /*env*/) {
  // The runtime location Qt gives there is the home folder, which may roam; the temporary folder
  // is the user's own and stays on the machine.
  wchar_t path[MAX_PATH + 2] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 2, path);
  if (length == 0 || length > MAX_PATH + 1)
    return {};
  std::u16string folder = FromWide(path, length);
  while (folder.size() > 3 && folder.back() == u'\\') // "C:\" keeps its backslash
    folder.pop_back();
  return folder;
}

std::u16string RuntimeFolderProblem(const std::u16string &folder) {
  const DWORD attributes = GetFileAttributesW(Wide(folder));
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
      return u"does not exist";
    return u"cannot be examined (" + SystemErrorText(int(error)) + u")";
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    return u"is not a folder";
  return {};
}

std::u16string RunningExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
    if (length == 0)
      return {};
    if (length < buffer.size()) // a truncated path fills the buffer
      return FromWide(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}
