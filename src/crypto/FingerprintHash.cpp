// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of the fingerprint and the strength estimate that need libsodium and zxcvbn, both
// opened at the first call: the tray program never needs them before the window shows a
// fingerprint.

#include "common/KvError.h"
#include "common/SecureZero.h"
#include "common/Unicode.h"
#include "crypto/Fingerprint.h"
#include "platform/SharedLibrary.h"

#include <algorithm>
#include <cmath>
#include <sodium.h>
#include <string>
#include <zxcvbn.h>

namespace {

constexpr char Salt[] = "Quillgate print1";
static_assert(sizeof(Salt) - 1 == crypto_pwhash_SALTBYTES);

// The password's UTF-8 with a terminating zero, wiped when it goes.
class TUtf8Secret {
public:
  explicit TUtf8Secret(std::u16string_view password) : FText(Utf16ToUtf8(password)) {}
  ~TUtf8Secret() { SecureZero(FText.data(), FText.size()); }
  TUtf8Secret(const TUtf8Secret &) = delete;
  TUtf8Secret &operator=(const TUtf8Secret &) = delete;

  const std::string &Text() const { return FText; }

private:
  std::string FText;
};

// libsodium's Argon2id.
struct TSodium {
  TKvSharedLibrary Library{KV_SODIUM_SONAME};
  KV_LIBRARY_FUNCTION(Library, sodium_init);
  KV_LIBRARY_FUNCTION(Library, crypto_pwhash);
  bool Started = Library.Usable() && sodium_init() >= 0;
};

// The strength estimator.
struct TZxcvbn {
  TKvSharedLibrary Library{KV_ZXCVBN_SONAME};
  KV_LIBRARY_FUNCTION(Library, ZxcvbnMatch);
};

} // namespace

ByteArray FingerprintHash(std::u16string_view masterPassword) {
  static const TSodium sodium;
  if (!sodium.Started)
    throw EKvError(u"The cryptography library could not be started.", sodium.Library.Failure());
  const TUtf8Secret password(masterPassword);
  ByteArray hash(FingerprintHashSize);
  if (sodium.crypto_pwhash(hash.data(), hash.size(), password.Text().data(), password.Text().size(),
                           reinterpret_cast<const unsigned char *>(Salt), 3, 16u << 20,
                           crypto_pwhash_ALG_ARGON2ID13) != 0)
    throw EKvError(u"Not enough memory to compute the master password's fingerprint.");
  return hash;
}

int GuessesExponent(std::u16string_view masterPassword) {
  static const TZxcvbn zxcvbn;
  if (!zxcvbn.Library.Usable())
    throw EKvError(u"The strength estimator could not be started.", zxcvbn.Library.Failure());
  const TUtf8Secret password(masterPassword);
  const double bits = zxcvbn.ZxcvbnMatch(password.Text().c_str(), nullptr, nullptr);
  return static_cast<int>(std::floor(std::max(bits, 0.0) * std::log10(2.0)));
}
