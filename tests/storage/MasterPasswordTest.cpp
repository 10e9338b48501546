// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/MasterPassword.h"

#include "common/KvError.h"
#include "common/Unicode.h"
#include "platform/Environment.h"
#include "platform/posix/KeyFileStore.h"
#include "platform/posix/SecretServiceKeyStore.h"
#include "support/Hex.h"
#include "support/MemoryKeyStore.h"
#include "support/ReadOnlyFolder.h"
#include "support/TempFolder.h"

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

ByteArray Bytes(const std::string &text) {
  return ByteArray(text.begin(), text.end());
}

unsigned ModeOf(const std::filesystem::path &path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 0777;
}

template <typename F> std::u16string ErrorOf(F &&action) {
  try {
    action();
  } catch (const EKvError &error) {
    return error.Message();
  }
  return u"(no error)";
}

const std::u16string DamagedBlob = u"Failed to load master key [Windows error code: 13]";
const std::u16string KeyNotFound = u"Failed to load master key [Windows error code: 1168]";

TEST(KeyBytes, GiveBackEveryTextExactly) {
  struct Row {
    std::u16string typed;
    std::string hex;
  };
  const Row rows[] = {
      // U+0001..U+00FF only: one byte per character, as earlier versions read and write them
      {u"", ""},
      {u"ASCII ~", "4153434949207e"},
      {u"Gr\u00FC\u00DFe \u00FF\u0001", "4772fcdf6520ff01"},
      // anything else: 00 "U8", then UTF-8 with unpaired surrogates in their three-byte form
      {u"x\u0141y", "00553878c58179"},
      {u"has\u0142o\u20AC1", "005538686173c5826fe282ac31"},
      {u"\u0141\u00F3d\u017A-\u043F\u0430\u0440\u043E\u043B\u044C",
       "005538c581c3b364c5ba2dd0bfd0b0d180d0bed0bbd18c"},
      {u"a\u0100b", "00553861c48062"},
      {std::u16string(u"\0", 1), "00553800"},
      {std::u16string(u"\0U8", 3), "005538005538"},
      {u"\U0001F600", "005538f09f9880"},
      {u"\xD800", "005538eda080"},                     // a lone high surrogate
      {u"a\xDFFFz", "00553861edbfbf7a"},               // a lone low surrogate
      {u"\xDE00\xD83D", "005538edb880eda0bd"},         // a pair the wrong way round
      {u"\xD83D\xD83D\xDE00", "005538eda0bdf09f9880"}, // a lone one before a pair
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(row.hex);
    const ByteArray bytes = StringToBytes(row.typed);
    EXPECT_EQ(ToHex(bytes), row.hex);
    EXPECT_EQ(BytesToString(bytes), row.typed);
  }
}

TEST(KeyBytes, ReadWhatEarlierVersionsWroteAsBefore) {
  // The low-byte form of passwords it had already changed: each byte is one character.
  EXPECT_EQ(BytesToString(Bytes("xAy")), u"xAy");
  EXPECT_EQ(BytesToString(Bytes(std::string("\0b", 2))), std::u16string(u"\0b", 2));
  EXPECT_EQ(BytesToString(Bytes(std::string("\0U", 2))), std::u16string(u"\0U", 2));
  EXPECT_EQ(BytesToString(Bytes("\xAC")), u"\u00AC");
}

TEST(KeyBytes, ATaggedPayloadThatIsNoUtf8IsADamagedOne) {
  for (const char *after : {"\x80", "\xC5", "\xC0\x80", "\xE2\x82", "\xF4\x90\x80\x80",
                            "\xF8\x88\x80\x80\x80", "ok\xFF"}) {
    SCOPED_TRACE(after);
    EXPECT_EQ(ErrorOf([&] { BytesToString(Bytes(std::string("\0U8", 3) + after)); }), DamagedBlob);
  }
}

// The sealing against in-memory key stores: keyring and key file doubles.
class Sealing : public TempFolderTest {
protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    WriteFile(folder / "machine-id", "0123456789abcdef0123456789abcdef\n");
  }
  TKvSealedProtection Protection(TMemoryKeyStore &keyring, TMemoryKeyStore &keyFile) {
    return TKvSealedProtection(keyring, keyFile, (folder / "machine-id").string());
  }
  ByteArray Seal(IKvDataProtection &protection, const ByteArray &data, bool shared = false) {
    uint32_t error = 0;
    auto blob = protection.Protect(data, shared, error);
    EXPECT_TRUE(blob) << error;
    return blob.value_or(ByteArray{});
  }
  std::u16string UnsealError(IKvDataProtection &protection, const ByteArray &blob) {
    TKvMasterPassword container(protection);
    container.SetKey(Bytes("kept"));
    TKvMemoryStream stream(blob);
    std::u16string message = ErrorOf([&] { container.LoadFromStream(stream); });
    EXPECT_EQ(container.Key(), Bytes("kept")) << "a failed load keeps the old key";
    return message;
  }

  TMemoryKeyStore ring, file;
};

TEST_F(Sealing, RoundTripsAnyPayloadIncludingAnEmptyOne) {
  auto protection = Protection(ring, file);
  for (const std::string &payload : {std::string(), std::string("p"), std::string(300, '\xFF')}) {
    SCOPED_TRACE(payload.size());
    for (bool shared : {false, true}) {
      const ByteArray blob = Seal(protection, Bytes(payload), shared);
      uint32_t error = 0;
      EXPECT_EQ(protection.Unprotect(blob, error), Bytes(payload));
      // a fresh nonce each time: the same payload never gives the same blob
      EXPECT_NE(Seal(protection, Bytes(payload), shared), blob);
    }
  }
}

TEST_F(Sealing, RefusesEmptyTruncatedDamagedAndForeignBlobs) {
  auto protection = Protection(ring, file);
  const ByteArray blob = Seal(protection, Bytes("secret"));
  EXPECT_EQ(UnsealError(protection, {}), DamagedBlob);
  EXPECT_EQ(UnsealError(protection,
                        Bytes("not a blob of ours, but long enough to hold a header and tag")),
            DamagedBlob);
  for (std::size_t length = 0; length < blob.size(); ++length) {
    SCOPED_TRACE("truncated to " + std::to_string(length));
    EXPECT_EQ(
        UnsealError(protection, ByteArray(blob.begin(), blob.begin() + std::ptrdiff_t(length))),
        DamagedBlob);
  }
  for (std::size_t at = 0; at < blob.size(); ++at) {
    SCOPED_TRACE("byte " + std::to_string(at) + " changed");
    ByteArray damaged = blob;
    damaged[at] ^= 0x01;
    // A changed key id names a key nobody has; every other change breaks the seal.
    EXPECT_EQ(UnsealError(protection, damaged), at >= 6 && at < 22 ? KeyNotFound : DamagedBlob);
  }
}

TEST_F(Sealing, AnotherUsersBlobAndALostKeyAreKeyNotFound) {
  auto mine = Protection(ring, file);
  TMemoryKeyStore otherRing, otherFile;
  auto theirs = Protection(otherRing, otherFile);
  EXPECT_EQ(UnsealError(mine, Seal(theirs, Bytes("theirs"))), KeyNotFound);

  const ByteArray blob = Seal(mine, Bytes("mine"));
  ring.keys.clear();
  auto afterLoss = Protection(ring, file);
  EXPECT_EQ(UnsealError(afterLoss, blob), KeyNotFound);
  ring.available = false;
  EXPECT_EQ(UnsealError(afterLoss, blob), KeyNotFound);
}

TEST_F(Sealing, SharedBlobsOpenForEveryUserOfTheSameMachineOnly) {
  auto mine = Protection(ring, file);
  TMemoryKeyStore otherRing, otherFile;
  auto theirs = Protection(otherRing, otherFile);
  const ByteArray blob = Seal(mine, Bytes("shared"), true);
  uint32_t error = 0;
  EXPECT_EQ(theirs.Unprotect(blob, error), Bytes("shared"));
  EXPECT_EQ(ring.finds + ring.adds + file.finds + file.adds, 0) << "no user key is involved";

  WriteFile(folder / "other-machine-id", "fedcba9876543210fedcba9876543210\n");
  TKvSealedProtection elsewhere(otherRing, otherFile, (folder / "other-machine-id").string());
  EXPECT_EQ(UnsealError(elsewhere, blob), DamagedBlob);

  TKvSealedProtection noIdentity(ring, file, (folder / "missing").string());
  TKvMasterPassword container(noIdentity);
  container.SetShared(true);
  TKvMemoryStream stream;
  EXPECT_EQ(ErrorOf([&] { container.SaveToStream(stream); }),
            u"Failed to save master key [Windows error code: 1168]");
  EXPECT_EQ(UnsealError(noIdentity, blob), KeyNotFound);
}

TEST_F(Sealing, MakesAKeyOnlyWhenTheKeyringAnswersWithNoneAndFetchesItOnce) {
  ByteArray first;
  {
    auto protection = Protection(ring, file);
    for (int i = 0; i < 5; ++i)
      first = Seal(protection, Bytes("typing"));
    EXPECT_EQ(ring.finds, 1);
    EXPECT_EQ(ring.adds, 1);
    EXPECT_EQ(file.finds + file.adds, 0);
  }
  // A later run opens the first run's blob by its key id, and seals with the same key.
  auto later = Protection(ring, file);
  uint32_t error = 0;
  EXPECT_EQ(later.Unprotect(first, error), Bytes("typing"));
  for (int i = 0; i < 3; ++i) {
    const ByteArray blob = Seal(later, Bytes("again"));
    EXPECT_EQ(later.Unprotect(blob, error), Bytes("again"));
  }
  EXPECT_EQ(ring.adds, 1);
  EXPECT_EQ(ring.keys.size(), 1u);
  EXPECT_EQ(ring.finds, 3); // first run: one; later run: one to open by id, one to seal
}

TEST_F(Sealing, FallsBackToTheKeyFileAndKeepsOldBlobsReadable) {
  struct Row {
    const char *name;
    bool available, acceptsKeys;
  };
  const Row rows[] = {{"locked or absent keyring", false, true},
                      {"keyring refuses the key", true, false}};
  for (const auto &row : rows) {
    SCOPED_TRACE(row.name);
    TMemoryKeyStore keyring, keyFile;
    keyring.available = row.available;
    keyring.acceptsKeys = row.acceptsKeys;
    auto protection = Protection(keyring, keyFile);
    const ByteArray blob = Seal(protection, Bytes("in the file"));
    EXPECT_TRUE(keyring.keys.empty());
    EXPECT_EQ(keyFile.keys.size(), 1u);

    // The desktop changes: the keyring works now and holds a key of its own.
    keyring.available = keyring.acceptsKeys = true;
    auto later = Protection(keyring, keyFile);
    Seal(later, Bytes("in the keyring"));
    EXPECT_EQ(keyring.keys.size(), 1u);
    uint32_t error = 0;
    EXPECT_EQ(later.Unprotect(blob, error), Bytes("in the file"));
  }
}

TEST_F(Sealing, NoKeyAnywhereFailsTheSave) {
  ring.available = false;
  file.available = false;
  auto protection = Protection(ring, file);
  TKvMasterPassword container(protection);
  container.SetKey(Bytes("pw"));
  TKvMemoryStream stream;
  EXPECT_EQ(ErrorOf([&] { container.SaveToStream(stream); }),
            u"Failed to save master key [Windows error code: 1168]");
  EXPECT_EQ(stream.Size(), 0u);
}

// The real key file, and the real Secret Service store with no session bus to reach.
using KeyFile = TempFolderTest;

TEST_F(KeyFile, WithNoSessionBusTheKeyLivesInAnOwnerOnlyFileThatIsNeverReplaced) {
  // A session bus address that leads nowhere: libsecret fails at once, as with no bus at all.
  setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (folder / "no-bus").string()).c_str(), 1);
  unsetenv("DISPLAY");
  TKvSecretServiceKeyStore keyring;
  const auto path = folder / "config/korvane-quillgate/protection.key";
  TKvKeyFileStore keyFile(path.string());
  const std::u16string master = U(folder / "master.key");
  std::string keyBytes;
  {
    TKvSealedProtection protection(keyring, keyFile);
    SaveMasterPassword(u"secret", master, protection);
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_EQ(ModeOf(folder / "config"), 0700u);
    EXPECT_EQ(ModeOf(path.parent_path()), 0700u);
    keyBytes = ReadFile(path);
    EXPECT_EQ(keyBytes.size(), 53u);
  }
  TKvSealedProtection later(keyring, keyFile);
  std::u16string text;
  ASSERT_TRUE(LoadMasterPassword(master, text, later));
  EXPECT_EQ(text, u"secret");
  SaveMasterPassword(u"other", master, later);
  EXPECT_EQ(ReadFile(path), keyBytes);

  // A damaged key file is an unreadable key, never a reason to make a new one over it.
  WriteFile(path, "damaged");
  TKvSealedProtection afterDamage(keyring, keyFile);
  EXPECT_EQ(ErrorOf([&] { SaveMasterPassword(u"x", master, afterDamage); }),
            u"Failed to save master key [Windows error code: 1168]");
  EXPECT_EQ(ErrorOf([&] { LoadMasterPassword(master, text, afterDamage); }), KeyNotFound);
  EXPECT_EQ(ReadFile(path), "damaged");
}

TEST_F(KeyFile, ABusThatNeverAnswersIsGivenUpOnAfterTheBound) {
  // A socket that takes the connection and then says nothing, as a hung service would.
  const auto socketPath = folder / "silent-bus";
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 8), 0);
  setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + socketPath.string()).c_str(), 1);
  unsetenv("DISPLAY");

  TKvSecretServiceKeyStore keyring(std::chrono::milliseconds(300));
  TKvKeyFileStore keyFile((folder / "protection.key").string());
  TKvSealedProtection protection(keyring, keyFile);
  SaveMasterPassword(u"still saved", U(folder / "master.key"), protection);
  EXPECT_TRUE(std::filesystem::exists(folder / "protection.key"));
  std::u16string text;
  ASSERT_TRUE(LoadMasterPassword(U(folder / "master.key"), text, protection));
  EXPECT_EQ(text, u"still saved");
  close(listener);
}

TEST(KeyFilePath, FollowsXdgConfigHome) {
  using Variables = std::map<std::string, std::string>;
  EXPECT_EQ(
      DefaultKeyFilePath(TKvFixedEnvironment(Variables{{"XDG_CONFIG_HOME", "/c"}, {"HOME", "/h"}})),
      "/c/korvane-quillgate/protection.key");
  EXPECT_EQ(DefaultKeyFilePath(TKvFixedEnvironment(Variables{{"HOME", "/h"}})),
            "/h/.config/korvane-quillgate/protection.key");
}

// master.key: the main window's three operations and the container's files and streams.
class MasterKeyFile : public Sealing {
protected:
  std::u16string Path() const { return U(folder / "master.key"); }
};

TEST_F(MasterKeyFile, SavesLoadsAndDeletes) {
  auto protection = Protection(ring, file);
  std::u16string text = u"untouched";
  EXPECT_FALSE(LoadMasterPassword(Path(), text, protection));
  EXPECT_EQ(text, u"untouched");

  SaveMasterPassword(u"Gr\u00FC\u00DFe\u0141", Path(), protection);
  EXPECT_EQ(ModeOf(folder / "master.key"), 0600u);
  ASSERT_TRUE(LoadMasterPassword(Path(), text, protection));
  EXPECT_EQ(text, u"Gr\u00FC\u00DFe\u0141");

  // An empty password is saved like any other, and reads back as "not found".
  SaveMasterPassword(u"", Path(), protection);
  EXPECT_TRUE(std::filesystem::exists(folder / "master.key"));
  EXPECT_FALSE(LoadMasterPassword(Path(), text, protection));

  DeleteMasterPassword(Path());
  EXPECT_FALSE(std::filesystem::exists(folder / "master.key"));
  DeleteMasterPassword(Path()); // nothing there: nothing happens
  std::filesystem::create_directory(folder / "master.key");
  DeleteMasterPassword(Path()); // a folder is not the file
  EXPECT_TRUE(std::filesystem::is_directory(folder / "master.key"));
  // Nor is it a password never saved: reading it says why it cannot be read.
  EXPECT_EQ(ErrorOf([&] { LoadMasterPassword(Path(), text, protection); }),
            u"Cannot open file \"" + Path() + u"\". Is a directory");
}

TEST_F(MasterKeyFile, AFileThatCannotBeDeletedIsReportedAndStays) {
  auto protection = Protection(ring, file);
  SaveMasterPassword(u"kept", Path(), protection);
  {
    const TReadOnlyFolder readOnly(folder);
    EXPECT_EQ(ErrorOf([&] { DeleteMasterPassword(Path()); }),
              u"Cannot delete file \"" + Path() + u"\". Permission denied");
  }
  std::u16string text;
  ASSERT_TRUE(LoadMasterPassword(Path(), text, protection));
  EXPECT_EQ(text, u"kept");
}

TEST_F(MasterKeyFile, AFailedSaveLeavesTheOldFileWhole) {
  auto protection = Protection(ring, file);
  SaveMasterPassword(u"old", Path(), protection);
  const std::string before = ReadFile(folder / "master.key");

  ring.available = file.available = false;
  auto broken = Protection(ring, file);
  EXPECT_EQ(ErrorOf([&] { SaveMasterPassword(u"new", Path(), broken); }),
            u"Failed to save master key [Windows error code: 1168]");
  EXPECT_EQ(ReadFile(folder / "master.key"), before);
  std::u16string text;
  ASSERT_TRUE(LoadMasterPassword(Path(), text, protection));
  EXPECT_EQ(text, u"old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2)
      << "no temporary left";
}

TEST_F(MasterKeyFile, FileAndStreamErrorsCarryTheirMessages) {
  auto protection = Protection(ring, file);
  TKvMasterPassword container(protection);
  const auto missing = folder / "missing" / "master.key";
  EXPECT_EQ(ErrorOf([&] { container.SaveToFile(U(missing)); }),
            u"Cannot create file \"" + U(missing) + u"\". No such file or directory");
  EXPECT_EQ(ErrorOf([&] { container.LoadFromFile(U(missing)); }),
            u"Cannot open file \"" + U(missing) + u"\". No such file or directory");
  std::filesystem::create_directory(folder / "dir");
  EXPECT_EQ(ErrorOf([&] { container.LoadFromFile(U(folder / "dir")); }),
            u"Cannot open file \"" + U(folder / "dir") + u"\". Is a directory");
  WriteFile(folder / "empty", "");
  EXPECT_EQ(ErrorOf([&] { container.LoadFromFile(U(folder / "empty")); }), DamagedBlob);

  class TFullStream : public TKvMemoryStream {
  public:
    std::size_t Write(const uint8_t *, std::size_t) override { return 0; }
  } full;
  container.SetKey(Bytes("pw"));
  EXPECT_EQ(ErrorOf([&] { container.SaveToStream(full); }), u"Stream write error");

  // The size counts from the start while the read starts at the current position.
  TKvMemoryStream stream;
  container.SaveToStream(stream);
  stream.Seek(1);
  TKvMasterPassword reader(protection);
  EXPECT_EQ(ErrorOf([&] { reader.LoadFromStream(stream); }), u"Stream read error");
  stream.Seek(0);
  reader.LoadFromStream(stream);
  EXPECT_EQ(reader.Key(), Bytes("pw"));
}

} // namespace
