// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/SavedMasterPassword.h"

#include "common/KvError.h"
#include "storage/MasterPassword.h"

#include <utility>

TKvSavedMasterPassword::TKvSavedMasterPassword(std::u16string keyFile,
                                               IKvDataProtection &protection)
    : FKeyFile(std::move(keyFile)), FProtection(protection) {}

bool TKvSavedMasterPassword::Load(std::u16string &password) {
  TKvFirstError loadError;
  bool saved = false;
  loadError.Run([&] { saved = LoadMasterPassword(FKeyFile, password, FProtection); });
  if (!loadError.Message)
    return saved;
  FUnread = true;
  throw EKvError(u"The saved master password could not be read, and it is kept for a later "
                 u"opening. " +
                 *loadError.Message);
}

void TKvSavedMasterPassword::Store(bool ticked, const std::u16string &password) {
  if (ticked)
    SaveMasterPassword(password, FKeyFile, FProtection);
  else
    DeleteMasterPassword(FKeyFile);
}

void TKvSavedMasterPassword::Ticked(bool ticked, const std::u16string &password) {
  try {
    Store(ticked, password);
  } catch (...) {
    FFailureTold = true;
    throw;
  }
  FUnread = false;
  FFailureTold = false;
}

void TKvSavedMasterPassword::Typed(bool ticked, const std::u16string &password) {
  if (FUnread)
    return;
  try {
    Store(ticked, password);
  } catch (...) {
    if (FFailureTold)
      return;
    FFailureTold = true;
    throw;
  }
  FFailureTold = false;
}
