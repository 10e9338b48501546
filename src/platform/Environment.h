// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <optional>
#include <string>

// What the process knows about its user's surroundings: environment variables, the home folder
// and the system's per-user folders. Storage code takes one of these as a parameter, so tests can
// hand in their own.
class IKvEnvironment {
public:
  virtual ~IKvEnvironment() = default;
  // The variable's value, or nothing when it is not set.
  virtual std::optional<std::string> Variable(const std::string &name) const = 0;
  // The user's home folder from the account database, or the empty text.
  virtual std::string AccountHomeFolder() const = 0;
  // The system's own per-user local application-data folder (Windows: the known folder
  // CSIDL_LOCAL_APPDATA), or the empty text when it cannot be determined or the system has none
  // (POSIX, where the XDG rules derive it from the variables).
  virtual std::u16string SystemLocalAppDataFolder() const = 0;
};

// The running process's own environment. It keeps no state; every call asks the system afresh.
const IKvEnvironment &ProcessEnvironment();

// A fixed set of variables and folders, for tests and for callers that want to pin the folders.
class TKvFixedEnvironment : public IKvEnvironment {
public:
  explicit TKvFixedEnvironment(std::map<std::string, std::string> variables,
                               std::string accountHome = {}, std::u16string localAppData = {})
      : FVariables(std::move(variables)), FAccountHome(std::move(accountHome)),
        FLocalAppData(std::move(localAppData)) {}
  std::optional<std::string> Variable(const std::string &name) const override {
    const auto found = FVariables.find(name);
    if (found == FVariables.end())
      return std::nullopt;
    return found->second;
  }
  std::string AccountHomeFolder() const override { return FAccountHome; }
  std::u16string SystemLocalAppDataFolder() const override { return FLocalAppData; }

private:
  std::map<std::string, std::string> FVariables;
  std::string FAccountHome;
  std::u16string FLocalAppData;
};

// The per-user, non-roaming folder for application data. Windows: the system's folder, else
// %LOCALAPPDATA% when it holds an absolute path, else the Windows folder (where an ordinary user
// cannot write, so later writes fail with their message). POSIX: $XDG_DATA_HOME, else
// ~/.local/share (posix/Environment.h).
std::u16string LocalAppDataFolder(const IKvEnvironment &env);

// Creates the program's data folder when it is not an existing directory. Windows: that one
// folder, with default security. POSIX: with the missing base folders the XDG rules ask for,
// each new folder 0700. True when the folder exists as a directory afterwards.
bool CreateDataFolder(const std::u16string &path);

// The user's runtime folder, for files that last only while a program runs (the instance lock and
// its socket): the user's own, shared with no other user, never synced. POSIX: $XDG_RUNTIME_DIR
// when it holds an absolute path, else /run/user/<uid>, the folder a login session names there, so
// a start with the variable and one without find the same folder. Windows: the user's temporary
// folder.
std::u16string UserRuntimeFolder(const IKvEnvironment &env);

// Why folder cannot serve as the runtime folder, as words that follow its name ("does not exist",
// "is not a folder"; POSIX also "is not yours (owned by uid 0)" and "is open to other users (mode
// 0755)"), or the empty text when it can.
std::u16string RuntimeFolderProblem(const std::u16string &folder);

// The full path of the running executable as the system reports it (on POSIX without the
// " (deleted)" that marks a binary replaced on disk while it runs). The empty text when it cannot
// be found.
std::u16string RunningExecutablePath();
