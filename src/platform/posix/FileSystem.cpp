// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSystem.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "platform/posix/File.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

[[noreturn]] void CannotCreate(const std::u16string &path, int error) {
  throw EKvError(u"Cannot create file \"" + path + u"\". " + SystemErrorText(error));
}

[[noreturn]] void CannotOpen(const std::u16string &path, int error) {
  throw EKvError(u"Cannot open file \"" + path + u"\". " + SystemErrorText(error));
}

// Writes bytes to file, flushes and closes it: 0, or the system's error number of the first step
// that failed.
int WriteAndClose(TKvFileDescriptor &file, const ByteArray &bytes) {
  const int error = WriteAndSync(file.Get(), bytes.data(), bytes.size());
  if (!file.Close() && error == 0)
    return errno;
  return error;
}

// The fixed message of a failed write, with the system's reason as its detail.
[[noreturn]] void CannotWrite(int error) {
  throw EKvError(u"Stream write error", SystemErrorText(error));
}

// Where a write to path lands: path itself, or the file that its chain of symbolic links ends at
// (a user may keep the data in a synced folder and link it here). A link's relative target counts
// from the link's own folder. A link that leads nowhere yields the place it names, where the file
// is then created; a loop, or a link that cannot be read, yields the last name reached, whose
// write then fails with the system's reason (a name still a link is a loop).
std::string FinalTarget(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
      return path;
    std::string target(std::size_t(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
    const ssize_t n = readlink(path.c_str(), target.data(), target.size());
    if (n <= 0 || std::size_t(n) >= target.size())
      return path;
    target.resize(std::size_t(n));
    if (target.front() != '/') {
      const auto slash = path.rfind('/');
      if (slash != std::string::npos)
        target.insert(0, path, 0, slash + 1);
    }
    path = std::move(target);
  }
  return path;
}

} // namespace

std::u16string SystemErrorText(int error) {
  return Utf8ToUtf16(std::strerror(error));
}

ByteArray ReadWholeFile(const std::u16string &path) {
  struct stat info {};
  const TKvFileDescriptor file = OpenRegularFileForReading(Utf16ToUtf8(path).c_str(), info);
  if (!file) {
    const int error = errno; // before anything else can change it
    CannotOpen(path, error);
  }
  ByteArray bytes;
  if (info.st_size > 0)
    bytes.reserve(std::size_t(info.st_size));
  uint8_t buffer[65536];
  for (;;) {
    const ssize_t n = read(file.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      throw EKvError(u"Stream read error", SystemErrorText(errno));
    if (n == 0)
      break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

void ReplaceFileAtomically(const std::u16string &path, const ByteArray &bytes, FileAccess access) {
  // A symbolic link stays: the file it leads to is the one replaced, in its own folder.
  const std::string target = FinalTarget(Utf16ToUtf8(path));
  struct stat info {};
  if (lstat(target.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
    CannotCreate(path, ELOOP); // a loop of links: never replace a link of it by a file
  std::string temporary;
  TKvFileDescriptor file =
      CreateTemporaryBeside(target, access == FileAccess::OwnerOnly ? 0600 : 0666, temporary);
  if (!file)
    CannotCreate(path, errno);
  if (const int error = WriteAndClose(file, bytes); error != 0) {
    unlink(temporary.c_str());
    CannotWrite(error);
  }
  if (rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    CannotCreate(path, error);
  }
  SyncFolder(FolderOf(target));
}

bool CreateNewFile(const std::u16string &path, const ByteArray &bytes) {
  const std::string name = Utf16ToUtf8(path);
  TKvFileDescriptor file(
      open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!file) {
    if (errno == EEXIST)
      return false;
    CannotCreate(path, errno);
  }
  if (const int error = WriteAndClose(file, bytes); error != 0) {
    unlink(name.c_str());
    CannotWrite(error);
  }
  SyncFolder(FolderOf(name));
  return true;
}

bool FileExists(const std::u16string &path) {
  struct stat info {};
  return stat(Utf16ToUtf8(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool NothingAt(const std::u16string &path) {
  struct stat info {};
  return stat(Utf16ToUtf8(path).c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

bool RemoveFile(const std::u16string &path) {
  if (!FileExists(path))
    return false;
  if (unlink(Utf16ToUtf8(path).c_str()) == 0)
    return true;
  const int error = errno;
  if (error == ENOENT) // gone in the meantime
    return false;
  throw EKvError(u"Cannot delete file \"" + path + u"\". " + SystemErrorText(error));
}

void RenameFile(const std::u16string &from, const std::u16string &to) {
  if (rename(Utf16ToUtf8(from).c_str(), Utf16ToUtf8(to).c_str()) != 0)
    CannotCreate(to, errno);
  SyncFolder(FolderOf(Utf16ToUtf8(to)));
}

void RemoveStrayTemporaryFiles(const std::u16string &folder) {
  const std::string path = Utf16ToUtf8(folder);
  DIR *listing = opendir(path.c_str());
  if (listing == nullptr)
    return;
  // Collected first: a folder's listing is not to be changed while it is read.
  std::vector<std::string> strays;
  while (const dirent *entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (!IsTemporaryName(name))
      continue;
    std::string stray = path;
    stray += '/';
    stray += name;
    struct stat info {};
    if (lstat(stray.c_str(), &info) == 0 && S_ISREG(info.st_mode))
      strays.push_back(std::move(stray));
  }
  closedir(listing);
  for (const std::string &stray : strays)
    unlink(stray.c_str());
  if (!strays.empty())
    SyncFolder(path);
}
