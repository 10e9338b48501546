// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/File.h"

#include "common/SecureZero.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::string_view TemporaryMark = ".quillgate-tmp.";
constexpr std::size_t TemporaryDigits = 8;

} // namespace

TKvFileDescriptor::~TKvFileDescriptor() {
  Close();
}

TKvFileDescriptor::TKvFileDescriptor(TKvFileDescriptor &&other) noexcept
    : FDescriptor(std::exchange(other.FDescriptor, -1)) {}

TKvFileDescriptor &TKvFileDescriptor::operator=(TKvFileDescriptor &&other) noexcept {
  if (this != &other) {
    Close();
    FDescriptor = std::exchange(other.FDescriptor, -1);
  }
  return *this;
}

bool TKvFileDescriptor::Close() {
  if (FDescriptor < 0)
    return true;
  // Linux frees the descriptor even when close fails, also on EINTR: it is never closed twice.
  return close(std::exchange(FDescriptor, -1)) == 0;
}

TKvFileDescriptor OpenRegularFileForReading(const char *path, struct stat &info) {
  TKvFileDescriptor file(open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!file)
    return file;
  int error = 0;
  const bool examined = fstat(file.Get(), &info) == 0;
  if (examined && !S_ISREG(info.st_mode)) // a folder opens for reading, but it is no file to read
    error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  else if (!examined || fcntl(file.Get(), F_SETFL, fcntl(file.Get(), F_GETFL) & ~O_NONBLOCK) != 0)
    error = errno;
  if (error == 0)
    return file;
  file.Close();
  errno = error;
  return file;
}

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

int WriteAndSync(int descriptor, const uint8_t *bytes, std::size_t size) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = write(descriptor, bytes + done, size - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return n < 0 ? errno : EIO;
    done += std::size_t(n);
  }
  return fsync(descriptor) == 0 ? 0 : errno;
}

TKvFileDescriptor CreateTemporaryBeside(const std::string &target, mode_t mode,
                                        std::string &temporary) {
  const auto slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char digits[TemporaryDigits + 1];
    std::snprintf(digits, sizeof digits, "%08x", unsigned(random()));
    temporary = folder;
    temporary += '.';
    temporary += name;
    temporary += TemporaryMark;
    temporary += digits;
    TKvFileDescriptor file(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (file || errno != EEXIST)
      return file;
  }
  return TKvFileDescriptor();
}

bool IsTemporaryName(const std::string &name) {
  // "." + at least one character of the target's name + the mark + the digits.
  const std::size_t fixed = 1 + TemporaryMark.size() + TemporaryDigits;
  if (name.size() <= fixed || name.front() != '.')
    return false;
  const std::size_t mark = name.size() - TemporaryDigits - TemporaryMark.size();
  if (std::string_view(name).substr(mark, TemporaryMark.size()) != TemporaryMark)
    return false;
  for (std::size_t i = name.size() - TemporaryDigits; i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
      return false;
  }
  return true;
}

std::string FolderOf(const std::string &path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

void SyncFolder(const std::string &folder) {
  const TKvFileDescriptor handle(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (handle)
    fsync(handle.Get());
}
