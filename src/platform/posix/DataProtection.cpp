// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/DataProtection.h"

#include "common/KvError.h"
#include "common/SecureZero.h"
#include "common/Unicode.h"
#include "platform/FileSystem.h"
#include "platform/posix/Environment.h"
#include "platform/posix/File.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

// Blob layout, all of it authenticated:
//   "KQPB"  version (1)  store (1)  key id (16)  nonce (24)  |  ciphertext  tag (16)
// The store byte tells which key sealed the blob: the keyring's, the key file's or the machine's.
// Key file layout: "KQKF" version (1) key id (16) key (32).

namespace {

constexpr uint8_t BlobMagic[4] = {'K', 'Q', 'P', 'B'};
constexpr uint8_t KeyFileMagic[4] = {'K', 'Q', 'K', 'F'};
constexpr uint8_t Version = 1;
constexpr uint8_t StoreKeyring = 1, StoreKeyFile = 2, StoreMachine = 3;
constexpr std::size_t NonceSize = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr std::size_t HeaderSize = 4 + 1 + 1 + 16 + NonceSize;
constexpr std::size_t TagSize = crypto_aead_xchacha20poly1305_ietf_ABYTES;
constexpr std::size_t KeyFileSize = 4 + 1 + 16 + TKvLockedKey::Size;

static_assert(TKvLockedKey::Size == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);

bool ReadSmallFile(const std::string &path, std::vector<uint8_t> &bytes, int &error) {
  struct stat info {};
  const TKvFileDescriptor file = OpenRegularFileForReading(path.c_str(), info);
  if (!file) {
    error = errno;
    return false;
  }
  uint8_t buffer[512];
  for (;;) {
    const ssize_t n = read(file.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0 || bytes.size() > 4096) {
      error = n < 0 ? errno : 0;
      SecureZero(buffer, sizeof buffer);
      return n == 0;
    }
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
}

} // namespace

TKvLockedKey::TKvLockedKey() : FPage(std::size_t(sysconf(_SC_PAGESIZE))) {
  FBytes = static_cast<uint8_t *>(std::aligned_alloc(FPage, FPage));
  if (FBytes == nullptr)
    throw std::bad_alloc();
  std::memset(FBytes, 0, FPage);
  sodium_mlock(FBytes, FPage); // best effort: a low RLIMIT_MEMLOCK only loses the locking
}

TKvLockedKey::~TKvLockedKey() {
  sodium_munlock(FBytes, FPage); // zeroes the bytes before unlocking them
  std::free(FBytes);
}

// --- key file ---------------------------------------------------------------------------------

TKvKeyFileStore::TKvKeyFileStore(std::string path) : FPath(std::move(path)) {
  RemoveStrayTemporaryFiles(Utf8ToUtf16(FolderOf(FPath)));
}

TKvKeyLookup TKvKeyFileStore::Find(const TKvKeyId *wanted, TKvKeyId &id, TKvLockedKey &key) {
  std::vector<uint8_t> bytes;
  int error = 0;
  if (!ReadSmallFile(FPath, bytes, error))
    return error == ENOENT ? TKvKeyLookup::Missing : TKvKeyLookup::Unavailable;
  TKvKeyLookup result = TKvKeyLookup::Unavailable; // a damaged key file is never replaced
  if (bytes.size() == KeyFileSize && std::memcmp(bytes.data(), KeyFileMagic, 4) == 0 &&
      bytes[4] == Version) {
    std::memcpy(id.data(), bytes.data() + 5, id.size());
    if (wanted != nullptr && *wanted != id) {
      result = TKvKeyLookup::Missing;
    } else {
      std::memcpy(key.Data(), bytes.data() + 5 + id.size(), TKvLockedKey::Size);
      result = TKvKeyLookup::Found;
    }
  }
  SecureZero(bytes.data(), bytes.size());
  return result;
}

bool TKvKeyFileStore::Add(const TKvKeyId &id, const TKvLockedKey &key) {
  const std::string folder = FolderOf(FPath);
  if (!CreateFolderPath(folder, 0700))
    return false;
  // Written to a temporary file, then linked into place: link never replaces an existing key.
  std::string temporary;
  TKvFileDescriptor file = CreateTemporaryBeside(FPath, 0600, temporary);
  if (!file)
    return false;
  uint8_t bytes[KeyFileSize];
  std::memcpy(bytes, KeyFileMagic, 4);
  bytes[4] = Version;
  std::memcpy(bytes + 5, id.data(), id.size());
  std::memcpy(bytes + 5 + id.size(), key.Data(), TKvLockedKey::Size);
  bool written = WriteAndSync(file.Get(), bytes, sizeof bytes);
  SecureZero(bytes, sizeof bytes);
  written = file.Close() && written;
  written = written && link(temporary.c_str(), FPath.c_str()) == 0;
  unlink(temporary.c_str());
  if (written)
    SyncFolder(folder);
  return written;
}

std::string DefaultKeyFilePath(const IKvEnvironment &env) {
  return XdgConfigHome(env) + "/korvane-quillgate/protection.key";
}

// --- sealing ----------------------------------------------------------------------------------

struct TKvSealedProtection::TCachedKey {
  uint8_t Store = 0;
  TKvKeyId Id{};
  std::unique_ptr<TKvLockedKey> Key;
};

TKvSealedProtection::TKvSealedProtection(IKvKeyStore &keyring, IKvKeyStore &keyFile,
                                         std::string machineIdFile)
    : FKeyring(keyring), FKeyFile(keyFile), FMachineIdFile(std::move(machineIdFile)) {
  if (sodium_init() < 0)
    throw EKvError(u"The cryptographic library cannot start");
}

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
      randombytes_buf(id.data(), id.size());
      randombytes_buf(key->Data(), TKvLockedKey::Size);
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
  crypto_generichash(key->Data(), TKvLockedKey::Size, identity.data(), identity.size(),
                     reinterpret_cast<const uint8_t *>(Purpose), sizeof Purpose - 1);
  return Remember(StoreMachine, TKvKeyId{}, std::move(key));
}

std::optional<ByteArray> TKvSealedProtection::Protect(const ByteArray &data, bool shared,
                                                      uint32_t &error) {
  const TCachedKey *key = shared ? MachineKey() : SealingKey();
  if (key == nullptr) {
    error = KvErrorNotFound;
    return std::nullopt;
  }
  ByteArray blob(HeaderSize + data.size() + TagSize);
  std::memcpy(blob.data(), BlobMagic, 4);
  blob[4] = Version;
  blob[5] = key->Store;
  std::memcpy(blob.data() + 6, key->Id.data(), key->Id.size());
  randombytes_buf(blob.data() + 22, NonceSize);
  unsigned long long sealed = 0;
  crypto_aead_xchacha20poly1305_ietf_encrypt(blob.data() + HeaderSize, &sealed, data.data(),
                                             data.size(), blob.data(), HeaderSize, nullptr,
                                             blob.data() + 22, key->Key->Data());
  return blob;
}

std::optional<ByteArray> TKvSealedProtection::Unprotect(const ByteArray &blob, uint32_t &error) {
  error = KvErrorInvalidData;
  if (blob.size() < HeaderSize + TagSize || std::memcmp(blob.data(), BlobMagic, 4) != 0 ||
      blob[4] != Version)
    return std::nullopt;
  const uint8_t store = blob[5];
  TKvKeyId id{};
  std::memcpy(id.data(), blob.data() + 6, id.size());
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
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(
          data.data(), &opened, nullptr, blob.data() + HeaderSize, blob.size() - HeaderSize,
          blob.data(), HeaderSize, blob.data() + 22, key->Key->Data()) != 0)
    return std::nullopt;
  return data;
}
