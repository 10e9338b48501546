// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSystem.h"

#include "common/KvError.h"
#include "platform/windows/Owned.h"
#include "platform/windows/WideText.h"

#include <algorithm>
#include <random>
#include <vector>
#include <windows.h>

namespace {

[[noreturn]] void CannotCreate(const std::u16string &path, DWORD error) {
  throw EKvError(u"Cannot create file \"" + path + u"\". " + SystemErrorText(int(error)));
}

[[noreturn]] void CannotOpen(const std::u16string &path, DWORD error) {
  throw EKvError(u"Cannot open file \"" + path + u"\". " + SystemErrorText(int(error)));
}

// Writes bytes to file, flushes and closes it: 0, or the system's last-error code of the first step
// that failed.
DWORD WriteAndClose(TKvHandle &file, const ByteArray &bytes) {
  DWORD error = 0;
  for (std::size_t done = 0; done < bytes.size() && error == 0;) {
    const DWORD chunk = DWORD(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data() + done, chunk, &written, nullptr))
      error = GetLastError();
    else if (written == 0)
      error = ERROR_WRITE_FAULT;
    done += written;
  }
  if (error == 0 && !FlushFileBuffers(file.Get()))
    error = GetLastError();
  if (!file.Close() && error == 0)
    error = GetLastError();
  return error;
}

// The fixed message of a failed write, with the system's reason as its detail.
[[noreturn]] void CannotWrite(DWORD error) {
  throw EKvError(u"Stream write error", SystemErrorText(int(error)));
}

// A virus scanner, an indexer, a backup tool or a sync client holds a file for a moment: an action
// on it that the system refuses for that reason is tried again for about half a second in all
// before it fails. A file being deleted or replaced meanwhile is refused as access denied. True
// when action succeeded; else false with the system's last error as action left it.
template <typename Action> bool RetryWhileHeld(Action action) {
  for (int attempt = 0;; ++attempt) {
    if (action())
      return true;
    const DWORD error = GetLastError();
    if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
         error != ERROR_LOCK_VIOLATION) ||
        attempt == 20) {
      SetLastError(error);
      return false;
    }
    Sleep(25);
  }
}

bool MoveWithRetry(const std::u16string &from, const std::u16string &to) {
  return RetryWhileHeld([&] {
    return MoveFileExW(Wide(from), Wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  });
}

const std::u16string TemporaryMark = u".quillgate-tmp.";
constexpr std::size_t TemporaryDigits = 8;

// A name of this program's temporaries alone beside path: ".<name>.quillgate-tmp.<8 hex digits>".
std::u16string TemporaryNameFor(const std::u16string &path) {
  static std::random_device random;
  const unsigned number = random();
  const auto slash = path.find_last_of(u"\\/");
  const std::size_t nameStart = slash == std::u16string::npos ? 0 : slash + 1;
  std::u16string name = path.substr(0, nameStart) + u"." + path.substr(nameStart) + TemporaryMark;
  for (int shift = 28; shift >= 0; shift -= 4)
    name += u"0123456789abcdef"[(number >> shift) & 15];
  return name;
}

bool IsTemporaryName(const std::u16string &name) {
  const std::size_t fixed = 1 + TemporaryMark.size() + TemporaryDigits;
  if (name.size() <= fixed || name.front() != u'.')
    return false;
  const std::size_t mark = name.size() - TemporaryDigits - TemporaryMark.size();
  if (name.compare(mark, TemporaryMark.size(), TemporaryMark) != 0)
    return false;
  return std::all_of(name.end() - TemporaryDigits, name.end(), [](char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
  });
}

} // namespace

std::u16string SystemErrorText(int error) {
  wchar_t *buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, DWORD(error), 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
  const TKvLocalMemory<wchar_t> owned(buffer);
  std::u16string text;
  if (length != 0 && buffer != nullptr)
    text = FromWide(buffer, length);
  // The system's texts end in a full stop and a line end; the messages add their own punctuation.
  while (!text.empty() && (text.back() <= u' ' || text.back() == u'.'))
    text.pop_back();
  return text;
}

ByteArray ReadWholeFile(const std::u16string &path) {
  // Other readers may share the file, and it may be deleted or renamed over meanwhile (the bytes
  // read stay those of the version opened); only a writer is kept out, so that they are all of one.
  HANDLE opened = INVALID_HANDLE_VALUE;
  RetryWhileHeld([&] {
    opened = CreateFileW(Wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return opened != INVALID_HANDLE_VALUE;
  });
  const TKvHandle file(opened);
  if (!file)
    CannotOpen(path, GetLastError());
  ByteArray bytes;
  LARGE_INTEGER size{};
  if (GetFileSizeEx(file.Get(), &size) && size.QuadPart > 0)
    bytes.reserve(std::size_t(size.QuadPart));
  uint8_t buffer[65536];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr))
      throw EKvError(u"Stream read error", SystemErrorText(int(GetLastError())));
    if (read == 0)
      break;
    bytes.insert(bytes.end(), buffer, buffer + read);
  }
  return bytes;
}

void ReplaceFileAtomically(const std::u16string &path, const ByteArray &bytes, FileAccess) {
  // The data folder lies in the user's own profile, whose access rules keep others out; an
  // owner-only file needs nothing more here.
  std::u16string temporary;
  TKvHandle file;
  for (int attempt = 0; attempt < 16 && !file; ++attempt) {
    temporary = TemporaryNameFor(path);
    file = TKvHandle(CreateFileW(Wide(temporary), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file && GetLastError() != ERROR_FILE_EXISTS)
      break;
  }
  if (!file)
    CannotCreate(path, GetLastError());

  if (const DWORD error = WriteAndClose(file, bytes); error != 0) {
    DeleteFileW(Wide(temporary));
    CannotWrite(error);
  }
  if (!MoveWithRetry(temporary, path)) {
    const DWORD error = GetLastError();
    DeleteFileW(Wide(temporary));
    CannotCreate(path, error);
  }
}

bool CreateNewFile(const std::u16string &path, const ByteArray &bytes) {
  TKvHandle file(CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
      return false;
    CannotCreate(path, error);
  }
  if (const DWORD error = WriteAndClose(file, bytes); error != 0) {
    DeleteFileW(Wide(path));
    CannotWrite(error);
  }
  return true;
}

bool FileExists(const std::u16string &path) {
  const DWORD attributes = GetFileAttributesW(Wide(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool NothingAt(const std::u16string &path) {
  if (GetFileAttributesW(Wide(path)) != INVALID_FILE_ATTRIBUTES)
    return false;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool RemoveFile(const std::u16string &path) {
  if (!FileExists(path))
    return false;
  if (DeleteFileW(Wide(path)))
    return true;
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND) // gone in the meantime
    return false;
  throw EKvError(u"Cannot delete file \"" + path + u"\". " + SystemErrorText(int(error)));
}

void RenameFile(const std::u16string &from, const std::u16string &to) {
  if (!MoveWithRetry(from, to))
    CannotCreate(to, GetLastError());
}

void RemoveStrayTemporaryFiles(const std::u16string &folder) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW(Wide(folder + u"\\*"), &found);
  if (search == INVALID_HANDLE_VALUE)
    return;
  std::vector<std::u16string> strays;
  do {
    const std::u16string name = FromWide(found.cFileName);
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
        IsTemporaryName(name))
      strays.push_back(folder + u"\\" + name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  for (const std::u16string &stray : strays)
    DeleteFileW(Wide(stray));
}
