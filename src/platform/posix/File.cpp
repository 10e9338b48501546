#include "platform/posix/File.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

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

bool WriteAndSync(int descriptor, const uint8_t *bytes, std::size_t size) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = write(descriptor, bytes + done, size - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += std::size_t(n);
  }
  return fsync(descriptor) == 0;
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
