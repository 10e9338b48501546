// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KvTypes.h"

#include <cstdint>
#include <memory>
#include <optional>

// The error codes that protection failures carry, the same numbers the Windows build reports.
constexpr uint32_t KvErrorInvalidData = 13; // a damaged, empty or foreign blob
constexpr uint32_t KvErrorNotFound = 1168;  // the key that sealed the blob cannot be found

// Per-user protection of a small secret, as the saved master password needs it: the blob can be
// turned back into the data by the same user only (or, when shared, by any user of the same
// computer), and nothing ever asks the user anything.
class IKvDataProtection {
public:
  virtual ~IKvDataProtection() = default;
  // The blob, or nothing with error set to the failure's code.
  virtual std::optional<ByteArray> Protect(const ByteArray &data, bool shared, uint32_t &error) = 0;
  virtual std::optional<ByteArray> Unprotect(const ByteArray &blob, uint32_t &error) = 0;
};

// The data protection the program uses for the current user. Keep one for the whole run.
// Windows: the system's own (CryptProtectData), bound to the user's log-on credentials.
// POSIX: sealing keys in the Secret Service keyring, else in the per-user key file, shared keys
// from /etc/machine-id; the key is fetched once per instance (posix/DataProtection.h).
class IKvEnvironment;
std::unique_ptr<IKvDataProtection> NewUserDataProtection(const IKvEnvironment &env);
