// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

constexpr int ExitOk = 0, ExitUsage = 2;

constexpr const char *Usage =
    "Usage: quillgate [--help | --version]\n"
    "\n"
    "Korvane Quillgate derives a password for every web site from one master password. It lives\n"
    "in the notification area (the tray): a double-click on its icon, or \"Show\" from the icon's\n"
    "menu, opens its window. Starting quillgate while it runs opens the running program's window.\n"
    "  --help, -h   print this help\n"
    "  --version    print the version\n"
    "Qt's own options (-platform, -display, -style, -session, ...) are passed on to Qt.\n"
    "quillgate-cli gives the same passwords in a terminal.\n";

// What Qt takes from the command line itself, each also with two dashes: its own options, then
// those of the X11 platform. Anything else would reach Qt unread and be silently ignored.
// clang-format off
constexpr std::string_view QtOptionsWithValue[] = {
    "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-session", "-style",
    "-stylesheet", "-qwindowgeometry", "-qwindowtitle", "-qwindowicon",
    "-display", "-name", "-geometry", "-title", "-icon", "-visual"};
constexpr std::string_view QtFlags[] = {
    "-reverse", "-widgetcount", "-testability",
    "-nograb", "-dograb"};
// clang-format on
constexpr std::string_view QtJoinedOptions[] = {"-style=", "-stylesheet=", "-qmljsdebugger="};

template <std::size_t N> bool OneOf(const std::string_view (&names)[N], std::string_view name) {
  return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

int Mistake(const std::string &line) {
  std::fprintf(stderr, "quillgate: %s Try \"quillgate --help\".\n", line.c_str());
  return ExitUsage;
}

} // namespace

std::optional<int> AnswerCommandLine(int argc, const char *const *argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::fputs(Usage, stdout);
      return ExitOk;
    }
    if (argument == "--version") {
      std::fputs("quillgate " KV_VERSION "\n", stdout);
      return ExitOk;
    }
    if (!argument.starts_with('-'))
      return Mistake("unexpected argument \"" + std::string(argument) + "\"; it takes none.");
    // Qt reads "--platform" as "-platform".
    const std::string_view name = argument.starts_with("--") ? argument.substr(1) : argument;
    if (OneOf(QtOptionsWithValue, name)) {
      if (++i == argc)
        return Mistake("option \"" + std::string(argument) + "\" needs a value.");
    } else if (!OneOf(QtFlags, name) &&
               std::none_of(std::begin(QtJoinedOptions), std::end(QtJoinedOptions),
                            [name](std::string_view prefix) { return name.starts_with(prefix); })) {
      return Mistake("unknown option \"" + std::string(argument) + "\".");
    }
  }
  return std::nullopt;
}
