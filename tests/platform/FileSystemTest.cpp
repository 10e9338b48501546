#include "platform/FileSystem.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "support/TempFolder.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using ReplaceFileAtomically_ = TempFolderTest;

ByteArray Bytes(const std::string &text) {
  return ByteArray(text.begin(), text.end());
}

TEST_F(ReplaceFileAtomically_, CreatesAndReplacesLeavingNoTemporaryFile) {
  const auto path = folder / "urls.db";
  ReplaceFileAtomically(Utf8ToUtf16(path.string()), Bytes("first"));
  EXPECT_EQ(ReadFile(path), "first");
  ReplaceFileAtomically(Utf8ToUtf16(path.string()), Bytes(""));
  EXPECT_EQ(ReadFile(path), "");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

TEST_F(ReplaceFileAtomically_, OwnerOnlyFilesAreReadableByTheOwnerAlone) {
  const auto path = folder / "master.key";
  ReplaceFileAtomically(Utf8ToUtf16(path.string()), Bytes("sealed"), FileAccess::OwnerOnly);
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
  try {
    ReplaceFileAtomically(Utf8ToUtf16(path.string()), Bytes("new"));
    FAIL() << "no error";
  } catch (const EKvError &e) {
    EXPECT_EQ(e.Message(),
              u"Cannot create file \"" + Utf8ToUtf16(path.string()) + u"\". Permission denied");
  }
  EXPECT_EQ(ReadFile(path), "old");
}

TEST_F(ReplaceFileAtomically_, TargetThatCannotBeReplacedLeavesNoTemporaryFile) {
  const auto path = folder / "urls.db";
  std::filesystem::create_directories(path / "inside");
  try {
    ReplaceFileAtomically(Utf8ToUtf16(path.string()), Bytes("new"));
    FAIL() << "no error";
  } catch (const EKvError &e) {
    EXPECT_EQ(e.Message(),
              u"Cannot create file \"" + Utf8ToUtf16(path.string()) + u"\". Is a directory");
  }
  EXPECT_TRUE(std::filesystem::exists(path / "inside"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

TEST_F(ReplaceFileAtomically_, MissingFolderIsACreateError) {
  const auto path = folder / "missing" / "urls.db";
  try {
    ReplaceFileAtomically(Utf8ToUtf16(path.string()), Bytes("x"));
    FAIL() << "no error";
  } catch (const EKvError &e) {
    EXPECT_EQ(e.Message(), u"Cannot create file \"" + Utf8ToUtf16(path.string()) +
                               u"\". No such file or directory");
  }
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
  std::u16string message;
  try {
    ReplaceFileAtomically(Utf8ToUtf16(path.string()), Bytes("much longer"));
  } catch (const EKvError &e) {
    message = e.Message();
  }
  setrlimit(RLIMIT_FSIZE, &previous);
  signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(message, u"Stream write error");
  EXPECT_EQ(ReadFile(path), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

} // namespace
