// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/DataProtection.h"

#include <filesystem>
#include <memory>

#ifdef _WIN32
#include "platform/Environment.h"
#else
#include "support/MemoryKeyStore.h"

#include <fstream>
#endif

// The user's data protection for tests that run on every system: on Windows the system's own,
// on POSIX the sealing with its keys in memory (the real keyring has tests of its own).
class TTestProtection {
public:
  explicit TTestProtection(const std::filesystem::path &folder) {
#ifdef _WIN32
    (void)folder;
    FProtection = NewUserDataProtection(ProcessEnvironment());
#else
    std::ofstream(folder / "machine-id") << "0123456789abcdef0123456789abcdef\n";
    FProtection =
        std::make_unique<TKvSealedProtection>(FKeyring, FKeyFile, (folder / "machine-id").string());
#endif
  }
  IKvDataProtection &operator*() {
    return *FProtection;
  }

private:
#ifndef _WIN32
  TMemoryKeyStore FKeyring, FKeyFile;
#endif
  std::unique_ptr<IKvDataProtection> FProtection;
};
