// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The master password kept in master.key while the user has "Save password" ticked, with the main
// window's rules for it: a master.key that cannot be read at the opening is kept for a later
// opening (a keyring unlocked again), and only a tick or untick replaces it, never typing; a
// store that keeps failing while the user types is raised once, not at every keystroke.

#include "platform/DataProtection.h"

#include <string>

class TKvSavedMasterPassword {
public:
  // protection seals the password (one per run).
  TKvSavedMasterPassword(std::u16string keyFile, IKvDataProtection &protection);

  // The opening: true with the password when a non-empty one is saved. A master.key that cannot
  // be read raises what the user is told.
  bool Load(std::u16string &password);
  // The user ticked (password is saved) or unticked (master.key is deleted) "Save password". The
  // failure is raised; master.key is then as it was.
  void Ticked(bool ticked, const std::u16string &password);
  // The password box changed: stores as Ticked does, save over an unread master.key; a failure
  // is raised only when the last store did not fail already.
  void Typed(bool ticked, const std::u16string &password);

private:
  void Store(bool ticked, const std::u16string &password);

  std::u16string FKeyFile;
  IKvDataProtection &FProtection;
  bool FUnread = false;      // master.key was there at opening and could not be read
  bool FFailureTold = false; // the last store failed and the user was told
};
