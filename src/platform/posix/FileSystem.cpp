#include "platform/FileSystem.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "platform/posix/File.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void CannotCreate(const std::u16string &path, int error) {
  throw EKvError(u"Cannot create file \"" + path + u"\". " + SystemErrorText(error));
}

[[noreturn]] void CannotOpen(const std::u16string &path, int error) {
  throw EKvError(u"Cannot open file \"" + path + u"\". " + SystemErrorText(error));
}

// Creates a file of a new name beside target for writing. The mode goes to the creation, where the
// kernel applies the user's umask: the process-wide umask is never changed, since other threads
// may create files meanwhile.
TKvFileDescriptor CreateTemporaryBeside(const std::string &target, mode_t mode,
                                        std::string &temporary) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", unsigned(random()));
    temporary = target + suffix;
    TKvFileDescriptor file(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (file || errno != EEXIST)
      return file;
  }
  return TKvFileDescriptor();
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
      throw EKvError(u"Stream read error");
    if (n == 0)
      break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

void ReplaceFileAtomically(const std::u16string &path, const ByteArray &bytes, FileAccess access) {
  const std::string target = Utf16ToUtf8(path);
  std::string temporary;
  TKvFileDescriptor file =
      CreateTemporaryBeside(target, access == FileAccess::OwnerOnly ? 0600 : 0666, temporary);
  if (!file)
    CannotCreate(path, errno);
  const bool written = WriteAndSync(file.Get(), bytes.data(), bytes.size());
  if (!file.Close() || !written) {
    unlink(temporary.c_str());
    throw EKvError(u"Stream write error");
  }
  if (rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    CannotCreate(path, error);
  }
  SyncFolder(FolderOf(target));
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
