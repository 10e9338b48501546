// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AutoStart.h"

#include "common/ApplicationId.h"
#include "common/KvError.h"
#include "common/Unicode.h"
#include "platform/FileSystem.h"
#include "platform/posix/AutoStart.h"
#include "platform/posix/Environment.h"
#include "platform/posix/Text.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

// Start at log-on is an XDG autostart entry, $XDG_CONFIG_HOME/autostart/<desktop id>, that the
// desktop session runs when the user logs on. The registry operations map onto it like this:
//   the Run key                        -> the autostart folder
//   the value (REG_SZ, program path)   -> the entry's Exec line, first argument
//   key cannot be opened when reading  -> the folder or the entry is missing: not registered
//   value missing or empty             -> no entry, an empty Exec, Hidden=true, or
//                                         X-GNOME-Autostart-enabled=false (the user switched
//                                         it off in the desktop's settings): not registered
//   value cannot be read               -> the entry exists but cannot be read:
//                                         "Failed to get data for '%s'"
//   value of another type              -> not a desktop entry of Type=Application (or not a file):
//                                         "Invalid data type for '%s'"
//   key cannot be created              -> the folder cannot be created: "Failed to create key %s"
//                                         with the folder's path
//   key cannot be opened / value not set -> the entry cannot be written (also a folder without
//                                         write permission): "Failed to set data for '%s'"
//   value deleted                      -> the entry removed; a missing one is no error, one that
//                                         stays is "Failed to delete data for '%s'"

namespace {

// Seconds a GNOME session waits before it runs the entry: its panel, and the tray the extension
// adds to it, come up after the session's autostart programs begin.
constexpr const char *AutoStartDelay = "5";

// A line of an entry written on Windows may end in a carriage return.
std::string_view Trim(std::string_view text) {
  return TrimBlanks(text, " \t\r");
}

// The registry's fixed message; detail is what the file operation said, or the system's text.
[[noreturn]] void Fail(const char16_t *what, const std::u16string &name,
                       std::u16string detail = {}) {
  throw EKvError(what + (u"'" + name + u"'"), std::move(detail));
}

// The desktop-entry string escapes: \s \n \t \r \\ (others are kept as they stand).
std::string UnescapeString(std::string_view value) {
  std::string text;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      text += value[i];
      continue;
    }
    switch (value[++i]) {
    case 's':
      text += ' ';
      break;
    case 'n':
      text += '\n';
      break;
    case 't':
      text += '\t';
      break;
    case 'r':
      text += '\r';
      break;
    case '\\':
      text += '\\';
      break;
    default:
      text += '\\';
      text += value[i];
    }
  }
  return text;
}

std::optional<std::string> ReadEntry(const std::string &path, const std::u16string &name) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0)
    return std::nullopt; // missing, or its folder cannot be searched: not registered
  if (!S_ISREG(info.st_mode))
    Fail(u"Invalid data type for ", name);
  try {
    const ByteArray bytes = ReadWholeFile(Utf8ToUtf16(path));
    return std::string(bytes.begin(), bytes.end());
  } catch (const EKvError &error) {
    Fail(u"Failed to get data for ", name, error.Text());
  }
}

// The Exec value of a desktop entry that runs one program with no arguments, and back: the
// program path of an Exec value (its first argument), or the empty text when there is none.
std::string DesktopExecValue(const std::string &programPath) {
  // The argument level: "%" doubled, then the whole path quoted with ", `, $ and \ escaped.
  std::string argument = "\"";
  for (char c : programPath) {
    if (c == '%')
      argument += "%%";
    else if (c == '"' || c == '`' || c == '$' || c == '\\')
      argument += std::string("\\") + c;
    else
      argument += c;
  }
  argument += '"';
  // The string level of the key file: backslashes and control characters escaped.
  std::string value;
  for (char c : argument) {
    switch (c) {
    case '\\':
      value += "\\\\";
      break;
    case '\n':
      value += "\\n";
      break;
    case '\t':
      value += "\\t";
      break;
    case '\r':
      value += "\\r";
      break;
    default:
      value += c;
    }
  }
  return value;
}

std::string DesktopExecProgram(const std::string &execValue) {
  const std::string command = UnescapeString(execValue);
  std::size_t i = command.find_first_not_of(" \t\n");
  if (i == std::string::npos)
    return {};
  std::string argument;
  if (command[i] == '"') {
    for (++i; i < command.size() && command[i] != '"'; ++i) {
      if (command[i] == '\\' && i + 1 < command.size())
        ++i;
      argument += command[i];
    }
  } else {
    for (; i < command.size() && command[i] != ' ' && command[i] != '\t' && command[i] != '\n'; ++i)
      argument += command[i];
  }
  std::string path;
  for (std::size_t j = 0; j < argument.size(); ++j) {
    path += argument[j];
    if (argument[j] == '%' && j + 1 < argument.size() && argument[j + 1] == '%')
      ++j;
  }
  return path;
}

} // namespace

std::string AutoStartFolder(const IKvEnvironment &env) {
  return XdgConfigHome(env) + "/autostart";
}

std::string AutoStartFile(const IKvEnvironment &env) {
  return AutoStartFolder(env) + "/" + ApplicationId + ".desktop";
}

std::u16string ReadAutoStart(const IKvEnvironment &env, const std::u16string &name) {
  const auto content = ReadEntry(AutoStartFile(env), name);
  if (!content || content->empty())
    return {};

  bool inEntry = false, sawGroup = false;
  std::optional<std::string> type, exec, hidden, enabled;
  std::size_t start = 0;
  while (start <= content->size()) {
    auto end = content->find('\n', start);
    if (end == std::string::npos)
      end = content->size();
    const std::string_view line = Trim(std::string_view(*content).substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == '#')
      continue;
    if (line.front() == '[') {
      if (!sawGroup && line != "[Desktop Entry]")
        Fail(u"Invalid data type for ", name);
      inEntry = !sawGroup;
      sawGroup = true;
      continue;
    }
    if (!sawGroup)
      Fail(u"Invalid data type for ", name); // key lines before any group: not a desktop entry
    const auto equals = line.find('=');
    if (!inEntry || equals == std::string_view::npos)
      continue;
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string value(Trim(line.substr(equals + 1)));
    if (key == "Type")
      type = value;
    else if (key == "Exec")
      exec = value;
    else if (key == "Hidden")
      hidden = value;
    else if (key == "X-GNOME-Autostart-enabled")
      enabled = value;
  }
  if (!sawGroup || type != "Application")
    Fail(u"Invalid data type for ", name);
  if (hidden == "true" || enabled == "false" || !exec)
    return {};
  return Utf8ToUtf16(DesktopExecProgram(*exec));
}

void WriteAutoStart(const IKvEnvironment &env, const std::u16string &name,
                    const std::u16string &programPath) {
  const std::string folder = AutoStartFolder(env);
  if (!CreateFolderPath(folder, 0700))
    throw EKvError(u"Failed to create key " + Utf8ToUtf16(folder));
  const std::string entry = "[Desktop Entry]\nType=Application\nName=" + Utf16ToUtf8(name) +
                            "\nIcon=" + ApplicationId +
                            "\nExec=" + DesktopExecValue(Utf16ToUtf8(programPath)) +
                            "\nX-GNOME-Autostart-Delay=" + AutoStartDelay + "\n";
  try {
    ReplaceFileAtomically(Utf8ToUtf16(AutoStartFile(env)), ByteArray(entry.begin(), entry.end()),
                          FileAccess::Normal);
  } catch (const EKvError &error) {
    Fail(u"Failed to set data for ", name, error.Text());
  }
}

void RemoveAutoStart(const IKvEnvironment &env, const std::u16string &name) {
  if (unlink(AutoStartFile(env).c_str()) != 0 && errno != ENOENT && errno != ENOTDIR)
    Fail(u"Failed to delete data for ", name, SystemErrorText(errno));
}
