// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Environment.h"

#include <string>

// The user's home folder: $HOME when it is an absolute path, else the account database's entry,
// else "/" (a folder an ordinary user cannot write to, so later writes fail with their message
// instead of landing in a place shared with other users).
std::string HomeFolder(const IKvEnvironment &env);

// The XDG base folders: the variable when it holds an absolute path, else the default under the
// home folder (~/.local/share and ~/.config).
std::string XdgDataHome(const IKvEnvironment &env);
std::string XdgConfigHome(const IKvEnvironment &env);

// Creates a folder and its missing parents, each new one with the given mode. True when the
// folder exists as a directory afterwards.
bool CreateFolderPath(const std::string &path, unsigned mode);
