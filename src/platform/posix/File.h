// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The POSIX backend's own file handling, shared by its files: an owned descriptor, the open that
// never waits on a FIFO or a device, and the flushes that make a written file survive a crash.

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <vector>

// A file descriptor that is closed on every path out of its scope. Moving hands it on.
class TKvFileDescriptor {
public:
  TKvFileDescriptor() = default;
  explicit TKvFileDescriptor(int descriptor) : FDescriptor(descriptor) {}
  ~TKvFileDescriptor();
  TKvFileDescriptor(TKvFileDescriptor &&other) noexcept;
  TKvFileDescriptor &operator=(TKvFileDescriptor &&other) noexcept;
  TKvFileDescriptor(const TKvFileDescriptor &) = delete;
  TKvFileDescriptor &operator=(const TKvFileDescriptor &) = delete;

  explicit operator bool() const { return FDescriptor >= 0; }
  int Get() const { return FDescriptor; }
  // Closes it now. False when the close fails: a file system may report a failed write only
  // there, so a file just written counts as written only when this succeeds.
  bool Close();

private:
  int FDescriptor = -1;
};

// Opens path for reading when it names a regular file, and fills info from it. The open itself
// never waits: a FIFO of that name would block until a writer came, a device may never end. On
// failure no descriptor, with errno set: EISDIR for a folder, EINVAL for anything else that is no
// regular file.
TKvFileDescriptor OpenRegularFileForReading(const char *path, struct stat &info);

// Reads a small file (a key, an identity) whole into bytes, with the open that never waits. False
// when it cannot be opened or read, with error set to the system's error number, or when it holds
// more than 4 KiB, with error 0. The read buffer is wiped; bytes is the caller's to wipe.
bool ReadSmallFile(const std::string &path, std::vector<uint8_t> &bytes, int &error);

// Writes all bytes, then flushes them to the disk. 0 when both succeed, else the system's error
// number of the failure (EIO for a write that makes no progress).
int WriteAndSync(int descriptor, const uint8_t *bytes, std::size_t size);

// The folder that holds path: "." for a bare name, "/" for a name in the root folder.
std::string FolderOf(const std::string &path);

// Creates a new file beside target for writing, named as a temporary of this program alone
// (".<name>.quillgate-tmp.<8 hex digits>" in target's folder), so that one a crash left behind is
// never mistaken for anything else. The mode goes to the creation, where the kernel applies the
// user's umask: the process-wide umask is never changed, since other threads may create files
// meanwhile. No descriptor on failure, with errno set; temporary receives the name.
TKvFileDescriptor CreateTemporaryBeside(const std::string &target, mode_t mode,
                                        std::string &temporary);

// Whether name (without its folder) is one that CreateTemporaryBeside gives.
bool IsTemporaryName(const std::string &name);

// Flushes the folder's list of names to the disk, so that a rename or link in it survives a crash.
// Best effort: the file itself is written by then, and a folder that cannot be flushed loses
// nothing of it.
void SyncFolder(const std::string &folder);
