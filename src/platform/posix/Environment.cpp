// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Environment.h"

#include "common/Unicode.h"
#include "platform/FileSystem.h"
#include "platform/posix/Environment.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

class TKvProcessEnvironment : public IKvEnvironment {
public:
  std::optional<std::string> Variable(const std::string &name) const override {
    const char *value = std::getenv(name.c_str());
    if (value == nullptr)
      return std::nullopt;
    return std::string(value);
  }
  std::string AccountHomeFolder() const override {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? std::size_t(size) : 16384);
    passwd entry{};
    passwd *result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) != 0 ||
        result == nullptr || result->pw_dir == nullptr)
      return {};
    return result->pw_dir;
  }
  std::u16string SystemLocalAppDataFolder() const override { return {}; }
};

bool IsAbsolute(const std::optional<std::string> &path) {
  return path && !path->empty() && path->front() == '/';
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  return path;
}

std::string UnderHome(const IKvEnvironment &env, const char *relative) {
  std::string home = HomeFolder(env);
  if (home != "/")
    home += '/';
  return home + relative;
}

} // namespace

const IKvEnvironment &ProcessEnvironment() {
  static const TKvProcessEnvironment environment; // stateless
  return environment;
}

std::string HomeFolder(const IKvEnvironment &env) {
  if (auto home = env.Variable("HOME"); IsAbsolute(home))
    return WithoutTrailingSlashes(*home);
  if (std::optional<std::string> home = env.AccountHomeFolder(); IsAbsolute(home))
    return WithoutTrailingSlashes(*home);
  return "/";
}

std::string XdgDataHome(const IKvEnvironment &env) {
  if (auto folder = env.Variable("XDG_DATA_HOME"); IsAbsolute(folder))
    return WithoutTrailingSlashes(*folder);
  return UnderHome(env, ".local/share");
}

std::string XdgConfigHome(const IKvEnvironment &env) {
  if (auto folder = env.Variable("XDG_CONFIG_HOME"); IsAbsolute(folder))
    return WithoutTrailingSlashes(*folder);
  return UnderHome(env, ".config");
}

std::u16string LocalAppDataFolder(const IKvEnvironment &env) {
  return Utf8ToUtf16(XdgDataHome(env));
}

bool CreateDataFolder(const std::u16string &path) {
  // On a fresh account ~/.local/share may be missing; without it every later write would fail.
  return CreateFolderPath(Utf16ToUtf8(path), 0700);
}

bool CreateFolderPath(const std::string &path, unsigned mode) {
  struct stat info {};
  if (stat(path.c_str(), &info) == 0)
    return S_ISDIR(info.st_mode);
  const auto slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !CreateFolderPath(path.substr(0, slash), mode))
    return false;
  if (mkdir(path.c_str(), mode_t(mode)) == 0)
    return true;
  return errno == EEXIST && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::u16string UserRuntimeFolder(const IKvEnvironment &env) {
  if (auto folder = env.Variable("XDG_RUNTIME_DIR"); IsAbsolute(folder))
    return Utf8ToUtf16(WithoutTrailingSlashes(*folder));
  // Where the login manager makes the folder it names in the variable: a start without it (from a
  // shell that lost it) must meet the lock of a start from the session.
  return Utf8ToUtf16("/run/user/" + std::to_string(geteuid()));
}

std::u16string RuntimeFolderProblem(const std::u16string &folder) {
  struct stat info {};
  if (stat(Utf16ToUtf8(folder).c_str(), &info) != 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR)
      return u"does not exist";
    return u"cannot be examined (" + SystemErrorText(error) + u")";
  }
  if (!S_ISDIR(info.st_mode))
    return u"is not a folder";
  // Another user could remove or replace the lock, or take the socket's name.
  if (info.st_uid != geteuid())
    return u"is not yours (owned by uid " + Utf8ToUtf16(std::to_string(info.st_uid)) + u")";
  if ((info.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", unsigned(info.st_mode & 07777));
    return u"is open to other users (mode " + Utf8ToUtf16(mode) + u")";
  }
  return {};
}

std::u16string RunningExecutablePath() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0)
      return {};
    if (std::size_t(n) < buffer.size()) {
      std::string path(buffer.data(), std::size_t(n));
      constexpr std::string_view deleted = " (deleted)";
      if (path.size() > deleted.size() && path.ends_with(deleted))
        path.resize(path.size() - deleted.size());
      return Utf8ToUtf16(path);
    }
    buffer.resize(buffer.size() * 2);
  }
}
