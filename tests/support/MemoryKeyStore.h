// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/posix/DataProtection.h"

#include <array>
#include <cstring>
#include <vector>

// A key store in memory that can be switched off or made to refuse new keys, and counts its
// calls: the test double of the keyring and of the key file.
class TMemoryKeyStore : public IKvKeyStore {
public:
  TKvKeyLookup Find(const TKvKeyId *wanted, TKvKeyId &id, TKvLockedKey &key) override {
    ++finds;
    if (!available)
      return TKvKeyLookup::Unavailable;
    for (const auto &[keyId, bytes] : keys) {
      if (wanted == nullptr || *wanted == keyId) {
        id = keyId;
        std::memcpy(key.Data(), bytes.data(), bytes.size());
        return TKvKeyLookup::Found;
      }
    }
    return TKvKeyLookup::Missing;
  }
  bool Add(const TKvKeyId &id, const TKvLockedKey &key) override {
    ++adds;
    if (!available || !acceptsKeys)
      return false;
    std::array<uint8_t, TKvLockedKey::Size> bytes{};
    std::memcpy(bytes.data(), key.Data(), bytes.size());
    keys.emplace_back(id, bytes);
    return true;
  }

  bool available = true;
  bool acceptsKeys = true;
  int finds = 0;
  int adds = 0;
  std::vector<std::pair<TKvKeyId, std::array<uint8_t, TKvLockedKey::Size>>> keys;
};
