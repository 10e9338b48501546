// SPDX-License-Identifier: GPL-3.0-or-later
// master.key holds a sealed blob: a header naming the store and key that sealed it, a nonce, the
// sealed key bytes and their tag. Reading any bytes as that file must either give back a key or
// fail with the load error; a blob the program sealed gives back exactly what it sealed, and any
// change to it (a flipped bit, a cut or an added byte) makes it fail. The key bytes then become
// the master password's text, which must come back exactly through the other direction.
//
// The sealing keys are fixed (a keyring key, no key file, a machine identity in a temporary
// file), so that the fuzzer reaches the parser behind the key look-up. The first byte chooses what
// the rest is: 0 a blob as it stands, 1 the key bytes to seal and read back, 2 changes to a sealed
// blob, 3 a password text (UTF-16, little-endian) to turn into key bytes and back.

#include "FuzzSupport.h"
#include "common/KvError.h"
#include "platform/posix/DataProtection.h"
#include "storage/MasterPassword.h"
#include "support/MemoryKeyStore.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

const std::u16string DamagedBlob = u"Failed to load master key [Windows error code: 13]";
const std::u16string KeyNotFound = u"Failed to load master key [Windows error code: 1168]";

// The machine identity the shared blobs are sealed under, in a temporary file (on tmpfs where the
// system has it), removed when the fuzzer ends.
struct TMachineIdFile {
  std::string Path;
  TMachineIdFile() {
    const char *folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    Path = std::string(folder) + "/kv-master-key-fuzz-" + std::to_string(getpid());
    std::FILE *file = std::fopen(Path.c_str(), "w");
    Check(file != nullptr);
    std::fputs("0123456789abcdef0123456789abcdef\n", file);
    Check(std::fclose(file) == 0);
  }
  ~TMachineIdFile() { unlink(Path.c_str()); }
};

struct TFixedKeys {
  TMachineIdFile MachineId;
  TMemoryKeyStore Keyring, KeyFile;
  TKvSealedProtection Protection;
  TFixedKeys() : Protection(Keyring, KeyFile, MachineId.Path) {
    TKvKeyId id{};
    id.fill(0x11);
    std::array<uint8_t, TKvLockedKey::Size> key{};
    key.fill(0x42);
    Keyring.keys.emplace_back(id, key);
  }
};

TFixedKeys &Keys() {
  static TFixedKeys keys;
  return keys;
}

ByteArray Seal(const ByteArray &key, bool shared) {
  TKvMasterPassword container(Keys().Protection);
  container.SetKey(key);
  container.SetShared(shared);
  TKvMemoryStream stream;
  container.SaveToStream(stream);
  return stream.Bytes();
}

// The key bytes of the blob, or the message it fails with.
bool Load(const ByteArray &blob, ByteArray &key, std::u16string &error) {
  TKvMasterPassword container(Keys().Protection);
  TKvMemoryStream stream(blob);
  try {
    container.LoadFromStream(stream);
  } catch (const EKvError &e) {
    error = e.Message();
    return false;
  }
  key = container.Key();
  return true;
}

// The text of key bytes must turn into bytes that give the same text again.
void CheckText(const ByteArray &key) {
  std::u16string text;
  try {
    text = BytesToString(key);
  } catch (const EKvError &e) {
    Check(e.Message() == DamagedBlob);
    return;
  }
  Check(BytesToString(StringToBytes(text)) == text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  const uint8_t mode = data[0] & 3;
  const bool shared = data[0] & 4;
  const ByteArray rest(data + 1, data + size);
  ByteArray key;
  std::u16string error;

  switch (mode) {
  case 0: // any bytes as the file
    if (Load(rest, key, error))
      CheckText(key);
    else
      Check(error == DamagedBlob || error == KeyNotFound);
    break;
  case 1: { // what is sealed comes back exactly
    Check(Load(Seal(rest, shared), key, error));
    Check(key == rest);
    CheckText(key);
    break;
  }
  case 2: { // any change to a sealed blob makes it fail
    if (rest.size() < 2)
      return 0;
    const ByteArray original = {'p', 'a', 's', 's'};
    const ByteArray sealed = Seal(original, shared);
    ByteArray blob = sealed;
    // The first byte less 128 cuts the blob (when negative) or adds to it; the others flip bits,
    // from the offset the second byte gives.
    const int change = int(rest[0]) - 128;
    if (change < 0)
      blob.resize(blob.size() - std::min(blob.size(), std::size_t(-change)));
    else
      blob.resize(blob.size() + std::size_t(change % 8), 0);
    for (std::size_t i = 2, at = rest[1]; i < rest.size() && at < blob.size(); ++i, ++at)
      blob[at] ^= rest[i];
    if (Load(blob, key, error)) {
      Check(blob == sealed);
      Check(key == original);
    } else {
      Check(blob != sealed);
      Check(error == DamagedBlob || error == KeyNotFound);
    }
    break;
  }
  default: { // a password's text comes back exactly through its key bytes
    std::u16string text;
    for (std::size_t i = 0; i + 1 < rest.size(); i += 2)
      text.push_back(char16_t(rest[i] | rest[i + 1] << 8));
    Check(BytesToString(StringToBytes(text)) == text);
    CheckText(StringToBytes(text));
  }
  }
  return 0;
}
