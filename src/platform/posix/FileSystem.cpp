#include "platform/FileSystem.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "platform/posix/RegularFile.h"

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

bool WriteAll(int fd, const ByteArray &bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += std::size_t(n);
  }
  return true;
}

// Creates a file of a new name beside target for writing. The mode goes to the creation, where the
// kernel applies the user's umask: the process-wide umask is never changed, since other threads
// may create files meanwhile.
int CreateTemporaryBeside(const std::string &target, mode_t mode, std::string &temporary) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", unsigned(random()));
    temporary = target + suffix;
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST)
      return fd;
  }
  return -1;
}

void SyncFolderOf(const std::string &path) {
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd); // the rename is done; a folder that cannot be flushed loses nothing of the file
    close(fd);
  }
}

} // namespace

std::u16string SystemErrorText(int error) {
  return Utf8ToUtf16(std::strerror(error));
}

int OpenRegularFileForReading(const char *path, struct stat &info) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    return -1;
  int error = 0;
  if (fstat(fd, &info) != 0)
    error = errno;
  else if (S_ISDIR(info.st_mode)) // a folder opens for reading, but it is no file to read
    error = EISDIR;
  else if (!S_ISREG(info.st_mode))
    error = EINVAL;
  else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
    error = errno;
  if (error == 0)
    return fd;
  close(fd);
  errno = error;
  return -1;
}

ByteArray ReadWholeFile(const std::u16string &path) {
  struct stat info {};
  const int fd = OpenRegularFileForReading(Utf16ToUtf8(path).c_str(), info);
  if (fd < 0) {
    const int error = errno; // before anything else can change it
    CannotOpen(path, error);
  }
  ByteArray bytes;
  if (info.st_size > 0)
    bytes.reserve(std::size_t(info.st_size));
  uint8_t buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      close(fd);
      throw EKvError(u"Stream read error");
    }
    if (n == 0)
      break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  close(fd);
  return bytes;
}

void ReplaceFileAtomically(const std::u16string &path, const ByteArray &bytes, FileAccess access) {
  const std::string target = Utf16ToUtf8(path);
  std::string temporary;
  const int fd =
      CreateTemporaryBeside(target, access == FileAccess::OwnerOnly ? 0600 : 0666, temporary);
  if (fd < 0)
    CannotCreate(path, errno);
  const bool written = WriteAll(fd, bytes) && fsync(fd) == 0;
  if (close(fd) != 0 || !written) {
    unlink(temporary.c_str());
    throw EKvError(u"Stream write error");
  }
  if (rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    CannotCreate(path, error);
  }
  SyncFolderOf(target);
}

bool FileExists(const std::u16string &path) {
  struct stat info {};
  return stat(Utf16ToUtf8(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
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
  SyncFolderOf(Utf16ToUtf8(to));
}
