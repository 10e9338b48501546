// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DataProtection.h"
#include "platform/posix/DataProtection.h"
#include "platform/posix/KeyFileStore.h"
#include "platform/posix/SecretServiceKeyStore.h"

namespace {

// The two key stores live as long as the protection that uses them.
class TKvUserDataProtection : public IKvDataProtection {
public:
  explicit TKvUserDataProtection(const IKvEnvironment &env)
      : FKeyFile(DefaultKeyFilePath(env)), FProtection(FKeyring, FKeyFile) {}
  std::optional<ByteArray> Protect(const ByteArray &data, bool shared, uint32_t &error) override {
    return FProtection.Protect(data, shared, error);
  }
  std::optional<ByteArray> Unprotect(const ByteArray &blob, uint32_t &error) override {
    return FProtection.Unprotect(blob, error);
  }

private:
  TKvSecretServiceKeyStore FKeyring;
  TKvKeyFileStore FKeyFile;
  TKvSealedProtection FProtection;
};

} // namespace

std::unique_ptr<IKvDataProtection> NewUserDataProtection(const IKvEnvironment &env) {
  return std::make_unique<TKvUserDataProtection>(env);
}
