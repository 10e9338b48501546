#pragma once

#include "platform/DataProtection.h"

#include <chrono>

// Sealing keys kept in the user's Secret Service keyring (GNOME Keyring, KWallet), one item per
// key, found by the key's id. Like the system's data protection it never asks the user anything:
// each call is bounded by a watchdog that cancels it, a locked keyring counts as unavailable, and
// a key is stored only into an unlocked default collection (a store into a locked or missing one
// would open a password prompt).
class TKvSecretServiceKeyStore : public IKvKeyStore {
public:
  explicit TKvSecretServiceKeyStore(std::chrono::milliseconds bound = std::chrono::seconds(5))
      : FBound(bound) {}
  TKvKeyLookup Find(const TKvKeyId *wanted, TKvKeyId &id, TKvLockedKey &key) override;
  bool Add(const TKvKeyId &id, const TKvLockedKey &key) override;

private:
  std::chrono::milliseconds FBound;
};
