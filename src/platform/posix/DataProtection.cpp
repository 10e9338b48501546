// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/DataProtection.h"

#include "common/KvError.h"
#include "common/SecureZero.h"
#include "platform/SharedLibrary.h"
#include "platform/posix/File.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <sodium.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The blob, all of it authenticated (the header is the cipher's associated data):
//   "KQPB" (4)  version 1 (1)  store (1)  key id (16)  nonce (24)  |  ciphertext  tag (16)
// The store byte tells which key sealed the blob: the keyring's, the key file's or the machine's
// (whose key id is all zeros).
constexpr uint8_t BlobMagic[4] = {'K', 'Q', 'P', 'B'};
constexpr uint8_t Version = 1;
constexpr uint8_t StoreKeyring = 1, StoreKeyFile = 2, StoreMachine = 3;
constexpr std::size_t VersionAt = sizeof BlobMagic;
constexpr std::size_t StoreAt = VersionAt + 1;
constexpr std::size_t KeyIdAt = StoreAt + 1;
constexpr std::size_t NonceAt = KeyIdAt + sizeof(TKvKeyId);
constexpr std::size_t NonceSize = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr std::size_t HeaderSize = NonceAt + NonceSize;
constexpr std::size_t TagSize = crypto_aead_xchacha20poly1305_ietf_ABYTES;
static_assert(NonceAt == 22 && HeaderSize == 46 && TagSize == 16);
static_assert(TKvLockedKey::Size == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);

// libsodium's entry points that sealing needs, from the library opened at the first use.
struct TSodium {
  TKvSharedLibrary Library{KV_SODIUM_SONAME};
  KV_LIBRARY_FUNCTION(Library, sodium_init);
  KV_LIBRARY_FUNCTION(Library, randombytes_buf);
  KV_LIBRARY_FUNCTION(Library, crypto_generichash);
  KV_LIBRARY_FUNCTION(Library, crypto_aead_xchacha20poly1305_ietf_encrypt);
  KV_LIBRARY_FUNCTION(Library, crypto_aead_xchacha20poly1305_ietf_decrypt);
  bool Started = Library.Usable() && sodium_init() >= 0;
};

const TSodium &Sodium() {
  static const TSodium sodium;
  if (!sodium.Started)
    throw EKvError(u"The cryptographic library cannot start", sodium.Library.Failure());
  return sodium;
}

} // namespace

TKvLockedKey::TKvLockedKey() : FPage(std::size_t(sysconf(_SC_PAGESIZE))) {
  FBytes = static_cast<uint8_t *>(std::aligned_alloc(FPage, FPage));
  if (FBytes == nullptr)
    throw std::bad_alloc();
  std::memset(FBytes, 0, FPage);
  // Best effort: a low RLIMIT_MEMLOCK only loses the locking. Kept out of core dumps too.
  mlock(FBytes, FPage);
  madvise(FBytes, FPage, MADV_DONTDUMP);
}

TKvLockedKey::~TKvLockedKey() {
  SecureZero(FBytes, FPage); // before the page may be swapped or dumped again
  munlock(FBytes, FPage);
  madvise(FBytes, FPage, MADV_DODUMP);
  std::free(FBytes);
}

// --- sealing ----------------------------------------------------------------------------------

struct TKvSealedProtection::TCachedKey {
  uint8_t Store = 0;
  TKvKeyId Id{};
  std::unique_ptr<TKvLockedKey> Key;
};

TKvSealedProtection::TKvSealedProtection(IKvKeyStore &keyring, IKvKeyStore &keyFile,
                                         std::string machineIdFile)
    : FKeyring(keyring), FKeyFile(keyFile), FMachineIdFile(std::move(machineIdFile)) {}

TKvSealedProtection::~TKvSealedProtection() = default;

const TKvSealedProtection::TCachedKey *
TKvSealedProtection::Remember(uint8_t store, const TKvKeyId &id,
                              std::unique_ptr<TKvLockedKey> key) {
  auto cached = std::make_unique<TCachedKey>();
  cached->Store = store;
  cached->Id = id;
  cached->Key = std::move(key);
  FKeys.push_back(std::move(cached));
  return FKeys.back().get();
}

const TKvSealedProtection::TCachedKey *TKvSealedProtection::SealingKey() {
  if (FSealing != nullptr)
    return FSealing;
  // The keyring first; the key file when the keyring does not answer or cannot take a key.
  const std::pair<IKvKeyStore *, uint8_t> stores[] = {{&FKeyring, StoreKeyring},
                                                      {&FKeyFile, StoreKeyFile}};
  for (const auto &[store, kind] : stores) {
    auto key = std::make_unique<TKvLockedKey>();
    TKvKeyId id{};
    TKvKeyLookup lookup = store->Find(nullptr, id, *key);
    if (lookup == TKvKeyLookup::Missing) {
      Sodium().randombytes_buf(id.data(), id.size());
      Sodium().randombytes_buf(key->Data(), TKvLockedKey::Size);
      if (!store->Add(id, *key))
        lookup = store->Find(nullptr, id, *key); // another instance may have added one meanwhile
      else
        lookup = TKvKeyLookup::Found;
    }
    if (lookup == TKvKeyLookup::Found)
      return FSealing = Remember(kind, id, std::move(key));
  }
  return nullptr;
}

const TKvSealedProtection::TCachedKey *TKvSealedProtection::KnownKey(uint8_t store,
                                                                     const TKvKeyId &id) {
  for (const auto &cached : FKeys)
    if (cached->Store == store && cached->Id == id)
      return cached.get();
  IKvKeyStore *source = store == StoreKeyring ? &FKeyring : &FKeyFile;
  auto key = std::make_unique<TKvLockedKey>();
  TKvKeyId found{};
  if (source->Find(&id, found, *key) != TKvKeyLookup::Found || found != id)
    return nullptr;
  return Remember(store, id, std::move(key));
}

const TKvSealedProtection::TCachedKey *TKvSealedProtection::MachineKey() {
  for (const auto &cached : FKeys)
    if (cached->Store == StoreMachine)
      return cached.get();
  std::vector<uint8_t> identity;
  int error = 0;
  if (!ReadSmallFile(FMachineIdFile, identity, error))
    return nullptr;
  while (!identity.empty() && (identity.back() == '\n' || identity.back() == ' '))
    identity.pop_back();
  if (identity.empty())
    return nullptr;
  // A keyed hash, so the key is not the identity itself and serves this one purpose only.
  static constexpr char Purpose[] = "Korvane Quillgate shared protection key v1";
  auto key = std::make_unique<TKvLockedKey>();
  Sodium().crypto_generichash(key->Data(), TKvLockedKey::Size, identity.data(), identity.size(),
                              reinterpret_cast<const uint8_t *>(Purpose), sizeof Purpose - 1);
  return Remember(StoreMachine, TKvKeyId{}, std::move(key));
}

std::optional<ByteArray> TKvSealedProtection::Protect(const ByteArray &data, bool shared,
                                                      uint32_t &error) {
  const TSodium &sodium = Sodium();
  const TCachedKey *key = shared ? MachineKey() : SealingKey();
  if (key == nullptr) {
    error = KvErrorNotFound;
    return std::nullopt;
  }
  ByteArray blob(HeaderSize + data.size() + TagSize);
  std::memcpy(blob.data(), BlobMagic, sizeof BlobMagic);
  blob[VersionAt] = Version;
  blob[StoreAt] = key->Store;
  std::memcpy(blob.data() + KeyIdAt, key->Id.data(), key->Id.size());
  sodium.randombytes_buf(blob.data() + NonceAt, NonceSize);
  unsigned long long sealed = 0;
  sodium.crypto_aead_xchacha20poly1305_ietf_encrypt(blob.data() + HeaderSize, &sealed, data.data(),
                                                    data.size(), blob.data(), HeaderSize, nullptr,
                                                    blob.data() + NonceAt, key->Key->Data());
  return blob;
}

std::optional<ByteArray> TKvSealedProtection::Unprotect(const ByteArray &blob, uint32_t &error) {
  const TSodium &sodium = Sodium();
  error = KvErrorInvalidData;
  if (blob.size() < HeaderSize + TagSize ||
      std::memcmp(blob.data(), BlobMagic, sizeof BlobMagic) != 0 || blob[VersionAt] != Version)
    return std::nullopt;
  const uint8_t store = blob[StoreAt];
  TKvKeyId id{};
  std::memcpy(id.data(), blob.data() + KeyIdAt, id.size());
  const TCachedKey *key = nullptr;
  if (store == StoreMachine)
    key = MachineKey();
  else if (store == StoreKeyring || store == StoreKeyFile)
    key = KnownKey(store, id);
  else
    return std::nullopt;
  if (key == nullptr) {
    error = KvErrorNotFound;
    return std::nullopt;
  }
  ByteArray data(blob.size() - HeaderSize - TagSize);
  unsigned long long opened = 0;
  if (sodium.crypto_aead_xchacha20poly1305_ietf_decrypt(
          data.data(), &opened, nullptr, blob.data() + HeaderSize, blob.size() - HeaderSize,
          blob.data(), HeaderSize, blob.data() + NonceAt, key->Key->Data()) != 0)
    return std::nullopt;
  return data;
}
