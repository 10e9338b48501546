#include "platform/FileSystem.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "support/TempFolder.h"

#include <functional>

#ifdef _WIN32
#include <chrono>
#include <thread>
#include <windows.h>
#else
#include "support/ReadOnlyFolder.h"

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
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

// Windows: files are opened with no sharing, and a replacement waits briefly for a file that a
// virus scanner or an indexer holds open.
HANDLE HoldOpen(const std::filesystem::path &path) {
  return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

TEST_F(FileAccessWithoutSharing, AFileHeldOpenByAnotherCannotBeRead) {
  WriteFile(folder / "master.key", "blob");
  const HANDLE held = HoldOpen(folder / "master.key");
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ErrorOf([&] { ReadWholeFile(U(folder / "master.key")); }),
            u"Cannot open file \"" + U(folder / "master.key") + u"\". " +
                SystemErrorText(ERROR_SHARING_VIOLATION));
  CloseHandle(held);
  EXPECT_EQ(ReadWholeFile(U(folder / "master.key")), Bytes("blob"));
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

TEST_F(ReplaceFileAtomically_, OwnerOnlyFilesAreReadableByTheOwnerAlone) {
  const auto path = folder / "master.key";
  ReplaceFileAtomically(U(path), Bytes("sealed"), FileAccess::OwnerOnly);
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(ReplaceFileAtomically_, FailureKeepsTheOldFileAndNamesTheTarget) {
  if (geteuid() == 0)
    GTEST_SKIP() << "root writes into read-only folders";
  const auto path = folder / "urls.db";
  WriteFile(path, "old");
  std::filesystem::permissions(folder, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_exec);
  EXPECT_EQ(ErrorOf([&] { ReplaceFileAtomically(U(path), Bytes("new")); }),
            u"Cannot create file \"" + U(path) + u"\". Permission denied");
  EXPECT_EQ(ReadFile(path), "old");
}

TEST_F(ReplaceFileAtomically_, WriteFailureIsAStreamWriteErrorAndKeepsTheOldFile) {
  const auto path = folder / "logins.db";
  WriteFile(path, "old");
  // A file-size limit makes the write of the temporary file fail part-way, as a full disk does.
  const auto previousHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  getrlimit(RLIMIT_FSIZE, &previous);
  rlimit tiny = previous;
  tiny.rlim_cur = 2;
  setrlimit(RLIMIT_FSIZE, &tiny);
  const std::u16string message =
      ErrorOf([&] { ReplaceFileAtomically(U(path), Bytes("much longer")); });
  setrlimit(RLIMIT_FSIZE, &previous);
  signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(message, u"Stream write error");
  EXPECT_EQ(ReadFile(path), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

#endif

} // namespace
