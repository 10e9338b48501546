// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DataProtection.h"

#include "support/TempFolder.h"
#include "support/UserProtection.h"
#include "support/Wine.h"

#include <optional>

#ifndef _WIN32
#include "platform/posix/KeyFileStore.h"
#include "platform/posix/SecretServiceKeyStore.h"
#include "support/ChildProcess.h"
#include "support/Hex.h"
#include "support/MemoryKeyStore.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <new>
#include <sodium.h>
#include <sys/stat.h>

// Every allocation of the program is counted, to show how a buffer holding a key was built.
namespace {
std::atomic<int> Allocations{0};
}
void *operator new(std::size_t size) {
  ++Allocations;
  if (void *memory = std::malloc(size == 0 ? 1 : size))
    return memory;
  throw std::bad_alloc();
}
void operator delete(void *memory) noexcept {
  std::free(memory);
}
void operator delete(void *memory, std::size_t) noexcept {
  std::free(memory);
}
#endif

namespace {

class DataProtection : public TempFolderTest {
protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    protection = std::make_unique<TTestProtection>(folder);
  }
  // The error code of a blob that does not open; 0 when it opens.
  uint32_t UnprotectError(const ByteArray &blob) {
    uint32_t error = 0;
    if ((**protection).Unprotect(blob, error))
      return 0;
    return error;
  }
  std::unique_ptr<TTestProtection> protection;
};

TEST_F(DataProtection, RoundTripsAnyPayloadIncludingAnEmptyOne) {
  ByteArray everyByte(256);
  for (std::size_t i = 0; i < everyByte.size(); ++i)
    everyByte[i] = uint8_t(i);
  for (bool shared : {false, true}) {
    for (const ByteArray &payload :
         {ByteArray{}, ByteArray{'p', 'w'}, everyByte, ByteArray(5000, 7)}) {
      SCOPED_TRACE(std::to_string(payload.size()) + (shared ? " shared" : ""));
      uint32_t error = 0;
      const std::optional<ByteArray> blob = (**protection).Protect(payload, shared, error);
      ASSERT_TRUE(blob) << error;
      EXPECT_NE(*blob, payload);
      const std::optional<ByteArray> back = (**protection).Unprotect(*blob, error);
      ASSERT_TRUE(back) << error;
      EXPECT_EQ(*back, payload);
    }
  }
}

TEST_F(DataProtection, EachBlobIsFreshSoEqualPasswordsLookDifferent) {
  uint32_t error = 0;
  const ByteArray payload{'s', 'a', 'm', 'e'};
  EXPECT_NE((**protection).Protect(payload, false, error),
            (**protection).Protect(payload, false, error));
}

TEST_F(DataProtection, EmptyTruncatedAndDamagedBlobsAreInvalidData) {
  uint32_t error = 0;
  const ByteArray blob =
      *(**protection).Protect(ByteArray{'s', 'e', 'c', 'r', 'e', 't'}, false, error);
  ByteArray truncated(blob.begin(), blob.end() - 1);
  ByteArray damagedEnd = blob;
  damagedEnd.back() ^= 1;
  ByteArray damagedMiddle = blob;
  damagedMiddle[blob.size() / 2] ^= 0x80;
  const struct {
    const char *What;
    ByteArray Blob;
    bool WineOpensIt = false; // Wine leaves parts of its blob's header unchecked
  } rows[] = {{"empty", {}},
              {"truncated", truncated},
              {"damaged at the end", damagedEnd},
              {"damaged in the middle", damagedMiddle, true},
              {"not a blob", ByteArray(blob.size(), 0x41)}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.What);
    if (row.WineOpensIt && RunningUnderWine())
      continue;
    EXPECT_EQ(UnprotectError(row.Blob), KvErrorInvalidData);
  }
}

#ifndef _WIN32

// The keyring takes the key as text; a text that grew as it was built would have left parts of the
// key in each smaller buffer it freed, beyond the reach of any wiping.
TEST(KeyringHex, IsBuiltInOneBufferReservedAtItsFinalSize) {
  uint8_t key[TKvLockedKey::Size];
  for (std::size_t i = 0; i < sizeof key; ++i)
    key[i] = uint8_t(i * 9);
  const int before = Allocations;
  std::string hex = KeyringHex(key, sizeof key);
  EXPECT_EQ(Allocations - before, 1);
  EXPECT_EQ(hex, "0009121b242d363f48515a636c757e879099a2abb4bdc6cfd8e1eaf3fc050e17");
  EXPECT_EQ(KeyringHex(key, 1), "00");
}

// The blob and the key file as the first version wrote them, under the key 00 01 .. 1f with the id
// a0 a1 .. af: whatever moves in the code, what users have on disk must keep opening.
const std::string FirstBlob = "4b5150420101a0a1a2a3a4a5a6a7a8a9aaabacadaeaf2918c6dbbf9fb5b0776a7c1d"
                              "8555f2d83b0251aa4321a80607d700ef59c1d397ca4e1616fd9e728295e5";
const std::string FirstKeyFile =
    "4b514b4601a0a1a2a3a4a5a6a7a8a9aaabacadaeaf000102030405060708090a0b0c"
    "0d0e0f101112131415161718191a1b1c1d1e1f";

ByteArray FromHex(const std::string &hex) {
  ByteArray bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2)
    bytes.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

ByteArray FileBytes(const std::filesystem::path &path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

TKvKeyId FirstKeyId() {
  TKvKeyId id{};
  for (std::size_t i = 0; i < id.size(); ++i)
    id[i] = uint8_t(0xa0 + i);
  return id;
}

std::array<uint8_t, TKvLockedKey::Size> FirstKey() {
  std::array<uint8_t, TKvLockedKey::Size> key{};
  for (std::size_t i = 0; i < key.size(); ++i)
    key[i] = uint8_t(i);
  return key;
}

TEST_F(DataProtection, WhatTheFirstVersionWroteStillOpens) {
  TMemoryKeyStore keyring, keyFile;
  keyring.keys.emplace_back(FirstKeyId(), FirstKey());
  TKvSealedProtection sealing(keyring, keyFile, (folder / "machine-id").string());
  uint32_t error = 0;
  EXPECT_EQ(sealing.Unprotect(FromHex(FirstBlob), error), (ByteArray{'p', 'w'})) << error;

  // The key file: read as it stands, and a new one written byte for byte the same.
  std::ofstream(folder / "first.key", std::ios::binary) << std::string(
      reinterpret_cast<const char *>(FromHex(FirstKeyFile).data()), FirstKeyFile.size() / 2);
  TKvKeyFileStore first((folder / "first.key").string());
  TKvKeyId id{};
  TKvLockedKey read;
  ASSERT_EQ(first.Find(nullptr, id, read), TKvKeyLookup::Found);
  EXPECT_EQ(id, FirstKeyId());
  EXPECT_EQ(ToHex(ByteArray(read.Data(), read.Data() + TKvLockedKey::Size)), ToHex(FirstKey()));
  TKvKeyFileStore written((folder / "new" / "protection.key").string());
  ASSERT_TRUE(written.Add(id, read));
  EXPECT_EQ(ToHex(FileBytes(folder / "new" / "protection.key")), FirstKeyFile);
}

// A blob made now opens by its layout alone, with the cipher called directly: magic, version, the
// store and the key's id, the nonce, then the sealed data; the header is authenticated.
TEST_F(DataProtection, ABlobMadeNowFollowsTheLayout) {
  TMemoryKeyStore keyring, keyFile;
  keyring.keys.emplace_back(FirstKeyId(), FirstKey());
  TKvSealedProtection sealing(keyring, keyFile, (folder / "machine-id").string());
  uint32_t error = 0;
  const ByteArray blob = *sealing.Protect(ByteArray{'p', 'w'}, false, error);
  ASSERT_EQ(blob.size(), 46u + 2 + 16);
  EXPECT_EQ(ToHex(ByteArray(blob.begin(), blob.begin() + 22)), FirstBlob.substr(0, 44));
  ByteArray data(2);
  ASSERT_GE(sodium_init(), 0);
  EXPECT_EQ(crypto_aead_xchacha20poly1305_ietf_decrypt(
                data.data(), nullptr, nullptr, blob.data() + 46, blob.size() - 46, blob.data(), 46,
                blob.data() + 22, FirstKey().data()),
            0);
  EXPECT_EQ(data, (ByteArray{'p', 'w'}));
}

// A FIFO named protection.key would block the opening of the window for ever; a device may
// never end. Neither is a key file: the store does not answer, and no new key replaces it.
TEST_F(DataProtection, AKeyFileThatIsAFifoOrADeviceIsUnavailableAtOnce) {
  const auto path = folder / "protection.key";
  for (bool fifo : {true, false}) {
    SCOPED_TRACE(fifo ? "FIFO" : "device");
    std::filesystem::remove(path);
    if (fifo)
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    else
      std::filesystem::create_symlink("/dev/zero", path);
    const auto lookup = InChildProcess(
        [&] {
          TKvKeyFileStore store(path.string());
          TKvKeyId id{};
          TKvLockedKey key;
          return std::to_string(int(store.Find(nullptr, id, key)));
        },
        TChildUser::Same, 10);
    EXPECT_EQ(lookup, std::to_string(int(TKvKeyLookup::Unavailable)));
  }
}

#endif

} // namespace
