// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileSystem.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "support/TempFolder.h"

#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
#include "platform/Environment.h"

#include <chrono>
#include <thread>
#include <windows.h>
#else
#include "platform/posix/KeyFileStore.h"
#include "support/ChildProcess.h"
#include "support/ReadOnlyFolder.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <optional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#endif

namespace {

using ReplaceFileAtomically_ = TempFolderTest;
using FileAccessWithoutSharing = TempFolderTest;
using RemoveFile_ = TempFolderTest;

ByteArray Bytes(const std::string &text) {
  return ByteArray(text.begin(), text.end());
}

std::u16string ErrorOf(const std::function<void()> &action) {
  try {
    action();
  } catch (const EKvError &e) {
    return e.Message();
  }
  return u"no error";
}

// The system's own words for the failures below.
#ifdef _WIN32
const int NotFoundError = ERROR_PATH_NOT_FOUND;
const int FolderInTheWayError = ERROR_ACCESS_DENIED;
#else
const int NotFoundError = ENOENT;
const int FolderInTheWayError = EISDIR;
#endif

// A file that cannot be deleted while this lives: on Windows a read-only file, on POSIX a file in
// a read-only folder.
#ifdef _WIN32
class TUndeletable {
public:
  explicit TUndeletable(const std::filesystem::path &path) : FPath(path) {
    EXPECT_TRUE(SetFileAttributesW(FPath.c_str(), FILE_ATTRIBUTE_READONLY));
  }
  ~TUndeletable() { EXPECT_TRUE(SetFileAttributesW(FPath.c_str(), FILE_ATTRIBUTE_NORMAL)); }

private:
  std::filesystem::path FPath;
};
const int CannotDeleteError = ERROR_ACCESS_DENIED;
#else
class TUndeletable {
public:
  explicit TUndeletable(const std::filesystem::path &path) : FFolder(path.parent_path()) {}

private:
  TReadOnlyFolder FFolder;
};
const int CannotDeleteError = EACCES;
#endif

TEST(SystemErrorText, IsTheSystemsSentenceWithoutItsEnd) {
  const std::u16string text = SystemErrorText(NotFoundError);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), u'.');
  EXPECT_GT(text.back(), u' ');
  EXPECT_EQ(text.find_first_of(u"\r\n"), std::u16string::npos);
}

TEST_F(ReplaceFileAtomically_, CreatesAndReplacesLeavingNoTemporaryFile) {
  const auto path = folder / "urls.db";
  ReplaceFileAtomically(U(path), Bytes("first"));
  EXPECT_EQ(ReadFile(path), "first");
  ReplaceFileAtomically(U(path), Bytes(""));
  EXPECT_EQ(ReadFile(path), "");
  ReplaceFileAtomically(U(path), Bytes("third"), FileAccess::OwnerOnly);
  EXPECT_EQ(ReadFile(path), "third");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

TEST_F(ReplaceFileAtomically_, TargetThatCannotBeReplacedLeavesNoTemporaryFile) {
  const auto path = folder / "urls.db";
  std::filesystem::create_directories(path / "inside");
  EXPECT_EQ(ErrorOf([&] { ReplaceFileAtomically(U(path), Bytes("new")); }),
            u"Cannot create file \"" + U(path) + u"\". " + SystemErrorText(FolderInTheWayError));
  EXPECT_TRUE(std::filesystem::exists(path / "inside"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

TEST_F(ReplaceFileAtomically_, MissingFolderIsACreateError) {
  const auto path = folder / "missing" / "urls.db";
  EXPECT_EQ(ErrorOf([&] { ReplaceFileAtomically(U(path), Bytes("x")); }),
            u"Cannot create file \"" + U(path) + u"\". " + SystemErrorText(NotFoundError));
}

TEST_F(ReplaceFileAtomically_, FilesAndFoldersAreToldApart) {
  WriteFile(folder / "urls.db", "x");
  std::filesystem::create_directory(folder / "logins.db");
  EXPECT_TRUE(FileExists(U(folder / "urls.db")));
  EXPECT_FALSE(FileExists(U(folder / "logins.db")));
  EXPECT_FALSE(FileExists(U(folder / "master.key")));
  EXPECT_FALSE(RemoveFile(U(folder / "logins.db")));
  EXPECT_FALSE(RemoveFile(U(folder / "master.key")));
  EXPECT_TRUE(RemoveFile(U(folder / "urls.db")));
  EXPECT_FALSE(std::filesystem::exists(folder / "urls.db"));
}

TEST_F(ReplaceFileAtomically_, CutShortWritesLeaveOnlyTemporariesThatTheCleanUpKnowsAsItsOwn) {
  // What a write killed before its rename leaves: a temporary beside the target. The clean-up at
  // opening removes exactly those, whatever else looks like them.
  const std::vector<std::string> ours = {".urls.db.quillgate-tmp.0123abcd",
                                         ".config.ini.quillgate-tmp.ffffffff",
                                         "..quillgate-tmp.quillgate-tmp.00000000"};
  const std::vector<std::string> others = {"urls.db",
                                           "urls.db.0123abcd",
                                           "notes.txt",
                                           ".logins.db.quillgate-tmp.0123ABCD",
                                           ".quillgate-tmp.01234567",
                                           ".urls.db.quillgate-tmp.0123abc",
                                           ".urls.db.quillgate-tmp.0123abcde",
                                           "x.urls.db.quillgate-tmp.0123abcd",
                                           ".urls.db.quillgate-tmp.0123abcd.bak"};
  for (const auto &name : ours)
    WriteFile(folder / name, "cut short");
  for (const auto &name : others)
    WriteFile(folder / name, "the user's");
  // A folder of that name is nobody's temporary file.
  std::filesystem::create_directory(folder / ".logins.db.quillgate-tmp.00000000");
  RemoveStrayTemporaryFiles(U(folder));
  for (const auto &name : ours) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(std::filesystem::exists(folder / name));
  }
  for (const auto &name : others) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ReadFile(folder / name), "the user's");
  }
  EXPECT_TRUE(std::filesystem::is_directory(folder / ".logins.db.quillgate-tmp.00000000"));
  RemoveStrayTemporaryFiles(U(folder / "missing")); // silent
}

#ifndef _WIN32
// A user who keeps the data in a synced folder links the files into the data folder: the link
// stays, and the file it leads to is replaced in one step in its own folder.
TEST_F(ReplaceFileAtomically_, ASymbolicLinkStaysAndTheFileItLeadsToIsReplaced) {
  namespace fs = std::filesystem;
  const fs::path data = folder / "data";
  const fs::path synced = folder / "synced";
  const struct {
    const char *Name;
    std::vector<std::pair<fs::path, fs::path>> Links; // link, what it holds
    fs::path Target;
    bool TargetExists;
  } rows[] = {
      {"link to a file in another folder",
       {{data / "urls.db", synced / "urls.db"}},
       synced / "urls.db",
       true},
      {"relative link", {{data / "urls.db", "../synced/urls.db"}}, synced / "urls.db", true},
      {"chain of links",
       {{data / "urls.db", synced / "current"}, {synced / "current", "deeper/urls.db"}},
       synced / "deeper" / "urls.db",
       true},
      // Writing through a link that leads nowhere creates its file, as an open of the link would.
      {"dangling link", {{data / "urls.db", "../synced/new.db"}}, synced / "new.db", false},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Name);
    fs::remove_all(data);
    fs::remove_all(synced);
    fs::create_directories(data);
    fs::create_directories(synced / "deeper");
    if (row.TargetExists)
      WriteFile(row.Target, "old");
    for (const auto &[link, holds] : row.Links)
      fs::create_symlink(holds, link);

    ReplaceFileAtomically(U(data / "urls.db"), Bytes("new"));
    EXPECT_EQ(ReadFile(row.Target), "new");
    for (const auto &[link, holds] : row.Links) {
      EXPECT_TRUE(fs::is_symlink(link)) << link;
      EXPECT_EQ(fs::read_symlink(link), holds);
    }
    // No temporary is left in either folder: only the links and the target.
    const auto count = [](const fs::path &place) {
      return std::distance(fs::directory_iterator(place), {});
    };
    EXPECT_EQ(count(data), 1);
    EXPECT_EQ(count(synced) + count(synced / "deeper"),
              2 /* deeper, target */ + (row.Links.size() > 1 ? 1 : 0));
  }

  // A loop of links is refused; the links stay as they were.
  fs::remove_all(data);
  fs::create_directories(data);
  fs::create_symlink("urls.db", data / "urls.db");
  EXPECT_EQ(ErrorOf([&] { ReplaceFileAtomically(U(data / "urls.db"), Bytes("new")); }),
            u"Cannot create file \"" + U(data / "urls.db") + u"\". " + SystemErrorText(ELOOP));
  EXPECT_TRUE(fs::is_symlink(data / "urls.db"));
  EXPECT_EQ(std::distance(fs::directory_iterator(data), {}), 1);
}
#endif

TEST_F(RemoveFile_, AFileThatStaysIsReportedAndAMissingOneIsNot) {
  const auto path = folder / "master.key";
  EXPECT_FALSE(RemoveFile(U(path)));
  WriteFile(path, "blob");
  {
    const TUndeletable undeletable(path);
    EXPECT_EQ(ErrorOf([&] { RemoveFile(U(path)); }),
              u"Cannot delete file \"" + U(path) + u"\". " + SystemErrorText(CannotDeleteError));
  }
  EXPECT_EQ(ReadFile(path), "blob");
  EXPECT_TRUE(RemoveFile(U(path)));
  EXPECT_FALSE(std::filesystem::exists(path));
}

#ifdef _WIN32

// Windows: a replacement waits briefly for a target that a virus scanner or an indexer holds open
// in this process.
HANDLE HoldOpen(const std::filesystem::path &path) {
  return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

// Another program holding a file open (kv_file_holder, beside this test program), started and
// waited for until it holds the file; ended with its owner if it has not let go by then.
class THeldFile {
public:
  static constexpr DWORD ForGood = INFINITE;

  THeldFile(const std::filesystem::path &path, const std::wstring &sharing, DWORD milliseconds) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE said = nullptr, says = nullptr;
    if (!CreatePipe(&said, &says, &inheritable, 0))
      return;
    SetHandleInformation(said, HANDLE_FLAG_INHERIT, 0);
    const auto holder =
        std::filesystem::path(RunningExecutablePath()).parent_path() / "kv_file_holder.exe";
    std::wstring command = L"\"" + holder.wstring() + L"\" \"" + path.wstring() + L"\" " + sharing +
                           L" " + std::to_wstring(milliseconds);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = says;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &process)) {
      FProcess = process.hProcess;
      CloseHandle(process.hThread);
    }
    CloseHandle(says);
    char word[4] = {};
    DWORD read = 0;
    FHolds = ReadFile(said, word, sizeof word, &read, nullptr) && read == sizeof word &&
             std::string(word, read) == "held";
    CloseHandle(said);
  }
  ~THeldFile() {
    if (FProcess == nullptr)
      return;
    TerminateProcess(FProcess, 0);
    WaitForSingleObject(FProcess, 10000);
    CloseHandle(FProcess);
  }
  THeldFile(const THeldFile &) = delete;
  THeldFile &operator=(const THeldFile &) = delete;

  bool Holds() const { return FHolds; }

private:
  HANDLE FProcess = nullptr;
  bool FHolds = false;
};

// A virus scanner, an indexer, a backup tool or a sync client may hold a file as the program
// starts: a reader lets other readers in, waits briefly for one that shuts everybody out, and
// only then reports the file as unreadable (it stays as it was either way).
using ReadWholeFile_ = TempFolderTest;

TEST_F(ReadWholeFile_, LetsOtherReadersInAndWaitsBrieflyForAProgramHoldingTheFile) {
  const struct {
    const char *Name;
    const wchar_t *Sharing;
    DWORD Milliseconds;
    bool Read;
  } rows[] = {
      {"held with no sharing for a moment", L"none", 200, true},
      {"held by a reader that lets others read", L"read", THeldFile::ForGood, true},
      {"held with no sharing for good", L"none", THeldFile::ForGood, false},
  };
  const auto path = folder / "urls.db";
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Name);
    WriteFile(path, "sites");
    ByteArray bytes;
    std::u16string error;
    {
      const THeldFile held(path, row.Sharing, row.Milliseconds);
      ASSERT_TRUE(held.Holds());
      error = ErrorOf([&] { bytes = ReadWholeFile(U(path)); });
    }
    if (row.Read) {
      EXPECT_EQ(error, u"no error") << Utf16ToUtf8(error);
      EXPECT_EQ(bytes, Bytes("sites"));
    } else {
      EXPECT_EQ(error, u"Cannot open file \"" + U(path) + u"\". " +
                           SystemErrorText(ERROR_SHARING_VIOLATION));
    }
    EXPECT_EQ(ReadFile(path), "sites");
  }
}

TEST_F(FileAccessWithoutSharing, AReplacementWaitsForATargetHeldOpenForAMoment) {
  const auto path = folder / "urls.db";
  WriteFile(path, "old");
  const HANDLE held = HoldOpen(path);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  std::thread scanner([held] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    CloseHandle(held);
  });
  ReplaceFileAtomically(U(path), Bytes("new"));
  scanner.join();
  EXPECT_EQ(ReadFile(path), "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

TEST_F(FileAccessWithoutSharing, ATargetHeldOpenForGoodFailsAndKeepsTheOldFile) {
  const auto path = folder / "urls.db";
  WriteFile(path, "old");
  const HANDLE held = HoldOpen(path);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const std::u16string error = ErrorOf([&] { ReplaceFileAtomically(U(path), Bytes("new")); });
  CloseHandle(held);
  EXPECT_EQ(error.rfind(u"Cannot create file \"" + U(path) + u"\". ", 0), 0u) << Utf16ToUtf8(error);
  EXPECT_EQ(ReadFile(path), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

#else

unsigned ModeOf(const std::filesystem::path &path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 0777;
}

TEST_F(ReplaceFileAtomically_, FilesAreTheOwnersAloneEvenInAFolderOthersMayRead) {
  // A data folder made by an older version, or by the user, may let others look in; the sites,
  // logins and settings stay the user's own all the same. A Normal file gets what the umask gives.
  chmod(folder.c_str(), 0755);
  const mode_t previous = umask(022);
  const struct {
    const char *Name;
    std::optional<FileAccess> Access; // nothing: as the lists and config.ini are written
    unsigned Mode;
  } rows[] = {
      {"urls.db", std::nullopt, 0600},
      {"master.key", FileAccess::OwnerOnly, 0600},
      {"org.example.desktop", FileAccess::Normal, 0644},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Name);
    const auto path = folder / row.Name;
    WriteFile(path, "old");
    chmod(path.c_str(), 0644);
    if (row.Access)
      ReplaceFileAtomically(U(path), Bytes("new"), *row.Access);
    else
      ReplaceFileAtomically(U(path), Bytes("new"));
    EXPECT_EQ(ReadFile(path), "new");
    EXPECT_EQ(ModeOf(path), row.Mode);
  }
  umask(previous);
}

// The umask belongs to the whole process: changing it even for a moment would give a file that
// another thread creates meanwhile the wrong mode.
TEST_F(ReplaceFileAtomically_, LeavesTheUmaskOfOtherThreadsAlone) {
  // In memory where the system offers it, so that many replacements fit in a short run.
  std::filesystem::path place = folder;
  std::error_code ignored;
  if (std::filesystem::is_directory("/dev/shm") &&
      std::filesystem::create_directory(std::filesystem::path("/dev/shm") / folder.filename(),
                                        ignored))
    place = std::filesystem::path("/dev/shm") / folder.filename();
  const mode_t previous = umask(022);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 5000; ++i) {
      ReplaceFileAtomically(U(place / "config.ini"), Bytes("x"), FileAccess::Normal);
      ReplaceFileAtomically(U(place / "urls.db"), Bytes("x"));
    }
    done = true;
  });
  const auto other = place / "other";
  std::map<unsigned, int> modes;
  while (!done) {
    const int fd = open(other.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
      continue;
    struct stat info {};
    fstat(fd, &info);
    ++modes[info.st_mode & 0777];
    close(fd);
    unlink(other.c_str());
  }
  writer.join();
  umask(previous);
  if (place != folder)
    std::filesystem::remove_all(place, ignored);
  ASSERT_FALSE(modes.empty());
  EXPECT_EQ(modes.begin()->first, 0644u);
  EXPECT_EQ(modes.size(), 1u) << "another mode " << std::oct << modes.rbegin()->first;
}

TEST_F(ReplaceFileAtomically_, FailureKeepsTheOldFileAndNamesTheTarget) {
  const auto path = folder / "urls.db";
  WriteFile(path, "old");
  // A user's own folder that they may not write to; root writes anywhere, so the user is played
  // by an unprivileged account.
  GiveToUnprivilegedUser(folder);
  std::filesystem::permissions(folder, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_exec);
  const auto error = InChildProcess(
      [&] { return Utf16ToUtf8(ErrorOf([&] { ReplaceFileAtomically(U(path), Bytes("new")); })); },
      TChildUser::Unprivileged);
  EXPECT_EQ(error, "Cannot create file \"" + path.string() + "\". Permission denied");
  EXPECT_EQ(ReadFile(path), "old");
}

// A FIFO of a file's name would block the open until a writer came, for ever; a device may never
// end. Both are refused at once.
using ReadWholeFile_ = TempFolderTest;

TEST_F(ReadWholeFile_, AFifoOrADeviceIsRefusedAtOnce) {
  const auto fifo = folder / "config.ini", device = folder / "urls.db";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", device);
  for (const auto &path : {fifo, device}) {
    SCOPED_TRACE(path);
    const auto error =
        InChildProcess([&] { return Utf16ToUtf8(ErrorOf([&] { ReadWholeFile(U(path)); })); },
                       TChildUser::Same, 10);
    EXPECT_EQ(error, "Cannot open file \"" + path.string() + "\". " +
                         Utf16ToUtf8(SystemErrorText(EINVAL)));
  }
  WriteFile(folder / "logins.db", "read as ever");
  EXPECT_EQ(ReadWholeFile(U(folder / "logins.db")), Bytes("read as ever"));
}

// "<message> | <detail>" of the error action raises.
std::string Reported(const std::function<void()> &action) {
  try {
    action();
  } catch (const EKvError &e) {
    return Utf16ToUtf8(e.Message() + u" | " + e.Detail());
  }
  return "no error";
}

// What action gives while no file may grow past 2 bytes: a write fails part-way, as on a full
// disk, and root cannot pass the limit either.
std::u16string WhileFilesCannotGrow(const std::function<std::u16string()> &action) {
  const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  getrlimit(RLIMIT_FSIZE, &previous);
  rlimit tiny = previous;
  tiny.rlim_cur = 2;
  setrlimit(RLIMIT_FSIZE, &tiny);
  std::u16string result = action();
  setrlimit(RLIMIT_FSIZE, &previous);
  signal(SIGXFSZ, previousHandler);
  return result;
}

TEST_F(ReplaceFileAtomically_, WriteFailureIsAStreamWriteErrorAndKeepsTheOldFile) {
  const auto path = folder / "logins.db";
  WriteFile(path, "old");
  const std::u16string message = WhileFilesCannotGrow(
      [&] { return ErrorOf([&] { ReplaceFileAtomically(U(path), Bytes("much longer")); }); });
  EXPECT_EQ(message, u"Stream write error");
  EXPECT_EQ(ReadFile(path), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

// A failed read or write keeps the system's reason beside its fixed message: a full disk, a file
// size limit and an I/O error each say which they are. Real faults: a full file system of its
// own (a tmpfs mounted in a private mount namespace of a child process), RLIMIT_FSIZE, and
// /proc/self/mem, which cannot be read at its start.
TEST_F(ReplaceFileAtomically_, AFailedReadOrWriteKeepsTheSystemsReason) {
  const auto full = folder / "full";
  std::filesystem::create_directory(full);
  const auto onFullDisk = [&](const std::function<void(const std::u16string &)> &action) {
    return [this, &full, action] {
      if (unshare(CLONE_NEWNS) != 0 ||
          mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          mount("tmpfs", full.c_str(), "tmpfs", 0, "size=16k") != 0)
        return std::string("no private tmpfs: ") + std::strerror(errno);
      WriteFile(full / "filler", std::string(std::size_t{64} * 1024, 'x')); // as much as fits
      return Reported([&] { action(U(full / "urls.db")); });
    };
  };
  std::filesystem::create_symlink("/proc/self/mem", folder / "memory");
  const std::string big(std::size_t{64} * 1024, 's');
  const struct {
    const char *What;
    std::function<std::string()> Run;
    std::string Expected;
  } rows[] = {
      {"replace on a full disk",
       onFullDisk([&](const std::u16string &path) { ReplaceFileAtomically(path, Bytes(big)); }),
       "Stream write error | No space left on device"},
      {"create on a full disk",
       onFullDisk([&](const std::u16string &path) { CreateNewFile(path, Bytes(big)); }),
       "Stream write error | No space left on device"},
      {"replace past the file size limit",
       [&] {
         return Utf16ToUtf8(WhileFilesCannotGrow([&] {
           return Utf8ToUtf16(Reported(
               [&] { ReplaceFileAtomically(U(folder / "logins.db"), Bytes("much longer")); }));
         }));
       },
       "Stream write error | File too large"},
      {"read where the device fails",
       [&] { return Reported([&] { ReadWholeFile(U(folder / "memory")); }); },
       "Stream read error | Input/output error"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.What);
    EXPECT_EQ(InChildProcess(row.Run, TChildUser::Same, 10), row.Expected);
  }
}

// Every descriptor the file operations open is closed again, on the paths that succeed and on
// those that fail after the open.
using FileDescriptors = TempFolderTest;

TEST_F(FileDescriptors, NoOperationLeavesOneOpen) {
  const auto open = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
  };
  WriteFile(folder / "urls.db", "sites");
  std::filesystem::create_directory(folder / "folder");
  std::filesystem::create_symlink("/dev/zero", folder / "device");
  const auto tooLargeToWrite = [&] {
    EXPECT_EQ(WhileFilesCannotGrow([&] {
                return ErrorOf(
                    [&] { ReplaceFileAtomically(U(folder / "logins.db"), Bytes("much longer")); });
              }),
              u"Stream write error");
  };
  TKvKeyFileStore keyFile((folder / "keys" / "protection.key").string());
  TKvKeyId id{};
  TKvLockedKey key;
  const struct {
    const char *Name;
    std::function<void()> Action;
  } rows[] = {
      {"read", [&] { ReadWholeFile(U(folder / "urls.db")); }},
      {"read a missing file", [&] { ErrorOf([&] { ReadWholeFile(U(folder / "missing")); }); }},
      {"read a folder", [&] { ErrorOf([&] { ReadWholeFile(U(folder / "folder")); }); }},
      {"read a device", [&] { ErrorOf([&] { ReadWholeFile(U(folder / "device")); }); }},
      {"replace", [&] { ReplaceFileAtomically(U(folder / "urls.db"), Bytes("new")); }},
      {"replace, the write failing", tooLargeToWrite},
      {"rename", [&] { RenameFile(U(folder / "urls.db"), U(folder / "renamed.db")); }},
      {"find no key file", [&] { keyFile.Find(nullptr, id, key); }},
      {"add a key file", [&] { EXPECT_TRUE(keyFile.Add(id, key)); }},
      {"find the key file", [&] { keyFile.Find(nullptr, id, key); }},
      {"add over the key file", [&] { EXPECT_FALSE(keyFile.Add(id, key)); }},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.Name);
    const auto before = open();
    row.Action();
    EXPECT_EQ(open(), before);
  }
}

#endif

} // namespace
