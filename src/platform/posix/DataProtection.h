// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// POSIX has no per-user data protection of its own; the program seals with keys of its own.

#include "platform/DataProtection.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using TKvKeyId = std::array<uint8_t, 16>;

// A 256-bit key in memory that is locked against swapping and zeroed when freed. Each key has a
// page of its own, so unlocking one key never unlocks the page of another.
class TKvLockedKey {
public:
  static constexpr std::size_t Size = 32;
  TKvLockedKey();
  ~TKvLockedKey();
  TKvLockedKey(const TKvLockedKey &) = delete;
  TKvLockedKey &operator=(const TKvLockedKey &) = delete;
  uint8_t *Data() { return FBytes; }
  const uint8_t *Data() const { return FBytes; }

private:
  uint8_t *FBytes;
  std::size_t FPage;
};

enum class TKvKeyLookup {
  Found,      // the key is in key and id
  Missing,    // the store answered and holds no such key
  Unavailable // the store did not answer (no service, locked, timed out, unreadable)
};

// A place where per-user sealing keys live. A key, once added, is never replaced.
class IKvKeyStore {
public:
  virtual ~IKvKeyStore() = default;
  // Finds the key with the given id; with no id, any key of this program (id receives its id).
  // A store that cannot take a new key must not report Missing for the search without an id.
  virtual TKvKeyLookup Find(const TKvKeyId *wanted, TKvKeyId &id, TKvLockedKey &key) = 0;
  // Adds a new key; false when it cannot, or when a key is already there.
  virtual bool Add(const TKvKeyId &id, const TKvLockedKey &key) = 0;
};

// Seals data with XChaCha20-Poly1305 under a per-user key, with a fresh random nonce. The key
// comes from the keyring when it answers with an unlocked default collection, else from the key
// file; a new key is made only when the chosen store answered and holds none. The blob's header
// records which store and which key sealed it, so it stays readable however the desktop changes.
// Keys are fetched once per instance and kept in locked memory. Shared blobs are sealed under a
// key derived from the machine's identity file. The cryptographic library (libsodium) is opened
// at the first Protect or Unprotect; when it cannot be, they raise EKvError "The cryptographic
// library cannot start" with the loader's reason as its detail.
class TKvSealedProtection : public IKvDataProtection {
public:
  TKvSealedProtection(IKvKeyStore &keyring, IKvKeyStore &keyFile,
                      std::string machineIdFile = "/etc/machine-id");
  ~TKvSealedProtection() override;
  std::optional<ByteArray> Protect(const ByteArray &data, bool shared, uint32_t &error) override;
  std::optional<ByteArray> Unprotect(const ByteArray &blob, uint32_t &error) override;

private:
  struct TCachedKey;
  const TCachedKey *SealingKey();
  const TCachedKey *KnownKey(uint8_t store, const TKvKeyId &id);
  const TCachedKey *MachineKey();
  const TCachedKey *Remember(uint8_t store, const TKvKeyId &id, std::unique_ptr<TKvLockedKey> key);

  IKvKeyStore &FKeyring;
  IKvKeyStore &FKeyFile;
  std::string FMachineIdFile;
  std::vector<std::unique_ptr<TCachedKey>> FKeys;
  const TCachedKey *FSealing = nullptr;
};
