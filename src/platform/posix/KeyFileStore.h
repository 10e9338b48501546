// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The per-user key file: where the sealing key lives when the keyring does not answer. It holds
// one key, is written once, atomically, and never overwritten, and is readable by its owner alone
// (mode 0600, its folder made 0700). Its bytes:
//   "KQKF" (4)  version 1 (1)  key id (16)  key (32)
// Anything else of that name (another size, magic or version, a FIFO, a device, a folder) is a
// key file that does not answer: it is never replaced, so no blob sealed under it is ever lost.

#include "platform/Environment.h"
#include "platform/posix/DataProtection.h"

#include <string>

class TKvKeyFileStore : public IKvKeyStore {
public:
  // Made at the program's start, the store removes what a write of the key cut short left in its
  // folder (temporary files of ours, nothing else).
  explicit TKvKeyFileStore(std::string path);
  // Found with the file's key; Missing when there is no file, or its key has another id than
  // wanted; Unavailable when the file cannot be read or is no key file.
  TKvKeyLookup Find(const TKvKeyId *wanted, TKvKeyId &id, TKvLockedKey &key) override;
  // Creates the folder and the file; false when either cannot be made or the file exists.
  bool Add(const TKvKeyId &id, const TKvLockedKey &key) override;

private:
  std::string FPath;
};

// The per-user key file's usual place: $XDG_CONFIG_HOME/korvane-quillgate/protection.key.
std::string DefaultKeyFilePath(const IKvEnvironment &env);
