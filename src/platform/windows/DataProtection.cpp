// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DataProtection.h"

#include "platform/windows/Owned.h"

#include <windows.h>
// after windows.h, which they build on
#include <dpapi.h>

namespace {

// The system's data protection, bound to the user's log-on credentials (or, shared, to the
// computer). It never shows anything: every call forbids the user interface.
class TKvSystemDataProtection : public IKvDataProtection {
public:
  std::optional<ByteArray> Protect(const ByteArray &data, bool shared, uint32_t &error) override {
    DATA_BLOB input{DWORD(data.size()), Bytes(data)};
    DATA_BLOB output{};
    const DWORD flags = CRYPTPROTECT_UI_FORBIDDEN | (shared ? CRYPTPROTECT_LOCAL_MACHINE : 0);
    if (!CryptProtectData(&input, L"", nullptr, nullptr, nullptr, flags, &output)) {
      error = GetLastError();
      return std::nullopt;
    }
    return TakeOutput(output);
  }

  std::optional<ByteArray> Unprotect(const ByteArray &blob, uint32_t &error) override {
    DATA_BLOB input{DWORD(blob.size()), Bytes(blob)};
    DATA_BLOB output{};
    if (!CryptUnprotectData(&input, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            &output)) {
      error = GetLastError();
      return std::nullopt;
    }
    return TakeOutput(output);
  }

private:
  // The system refuses a null pointer even for no bytes; an empty array may well have one.
  static BYTE *Bytes(const ByteArray &bytes) {
    static BYTE none = 0;
    return bytes.empty() ? &none : const_cast<BYTE *>(bytes.data());
  }

  // A copy of the system's buffer, which is wiped before it goes back: it may hold the secret.
  static ByteArray TakeOutput(DATA_BLOB &output) {
    const TKvLocalMemory<BYTE> owned(output.pbData);
    ByteArray bytes(output.pbData, output.pbData + output.cbData);
    SecureZeroMemory(output.pbData, output.cbData);
    return bytes;
  }
};

} // namespace

std::unique_ptr<IKvDataProtection> NewUserDataProtection(const IKvEnvironment &) {
  return std::make_unique<TKvSystemDataProtection>();
}
