// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/KeyFileStore.h"

#include "common/SecureZero.h"
#include "common/Unicode.h"
#include "platform/FileSystem.h"
#include "platform/posix/Environment.h"
#include "platform/posix/File.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

// Where each part of the file lies (the layout in KeyFileStore.h).
constexpr uint8_t Magic[4] = {'K', 'Q', 'K', 'F'};
constexpr uint8_t Version = 1;
constexpr std::size_t VersionAt = sizeof Magic;
constexpr std::size_t KeyIdAt = VersionAt + 1;
constexpr std::size_t KeyAt = KeyIdAt + sizeof(TKvKeyId);
constexpr std::size_t FileSize = KeyAt + TKvLockedKey::Size;
static_assert(FileSize == 53);

} // namespace

TKvKeyFileStore::TKvKeyFileStore(std::string path) : FPath(std::move(path)) {
  RemoveStrayTemporaryFiles(Utf8ToUtf16(FolderOf(FPath)));
}

TKvKeyLookup TKvKeyFileStore::Find(const TKvKeyId *wanted, TKvKeyId &id, TKvLockedKey &key) {
  std::vector<uint8_t> bytes;
  int error = 0;
  if (!ReadSmallFile(FPath, bytes, error))
    return error == ENOENT ? TKvKeyLookup::Missing : TKvKeyLookup::Unavailable;
  TKvKeyLookup result = TKvKeyLookup::Unavailable; // a damaged key file is never replaced
  if (bytes.size() == FileSize && std::memcmp(bytes.data(), Magic, sizeof Magic) == 0 &&
      bytes[VersionAt] == Version) {
    std::memcpy(id.data(), bytes.data() + KeyIdAt, id.size());
    if (wanted != nullptr && *wanted != id) {
      result = TKvKeyLookup::Missing;
    } else {
      std::memcpy(key.Data(), bytes.data() + KeyAt, TKvLockedKey::Size);
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
  uint8_t bytes[FileSize];
  std::memcpy(bytes, Magic, sizeof Magic);
  bytes[VersionAt] = Version;
  std::memcpy(bytes + KeyIdAt, id.data(), id.size());
  std::memcpy(bytes + KeyAt, key.Data(), TKvLockedKey::Size);
  bool written = WriteAndSync(file.Get(), bytes, sizeof bytes) == 0;
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
