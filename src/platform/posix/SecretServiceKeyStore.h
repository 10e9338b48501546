// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/posix/DataProtection.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

// Sealing keys kept in the user's Secret Service keyring (GNOME Keyring, KWallet), one item per
// key, found by the key's id. Like the system's data protection it never asks the user anything:
// each call is bounded by a watchdog that cancels it, a locked keyring counts as unavailable, and
// a key is stored only into an unlocked default collection (a store into a locked or missing one
// would open a password prompt). libsecret is opened at the first call; a system without it is
// one whose keyring does not answer.
class TKvSecretServiceKeyStore : public IKvKeyStore {
public:
  explicit TKvSecretServiceKeyStore(std::chrono::milliseconds bound = std::chrono::seconds(5))
      : FBound(bound) {}
  TKvKeyLookup Find(const TKvKeyId *wanted, TKvKeyId &id, TKvLockedKey &key) override;
  bool Add(const TKvKeyId &id, const TKvLockedKey &key) override;

private:
  std::chrono::milliseconds FBound;
};

// The lower-case hexadecimal form in which the keyring holds a key and its id. Its buffer is
// reserved once at its final size: a buffer that grew would leave parts of the key behind in the
// smaller ones it freed.
std::string KeyringHex(const uint8_t *bytes, std::size_t size);
