// SPDX-License-Identifier: GPL-3.0-or-later
// Runs under with-keyring.sh: a private session bus with a fresh, unlocked GNOME Keyring.
#include "common/KvError.h"
#include "common/Unicode.h"
#include "platform/Environment.h"
#include "platform/posix/KeyFileStore.h"
#include "platform/posix/SecretServiceKeyStore.h"
#include "storage/MasterPassword.h"
#include "support/TempFolder.h"

#include <libsecret/secret.h>

namespace {

class RealKeyring : public TempFolderTest {
protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    ASSERT_NE(std::getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr) << "run me with with-keyring.sh";
    ASSERT_NE(std::string(std::getenv("HOME")).find("kvkeyring."), std::string::npos)
        << "never the user's own keyring";
    keyFile = std::make_unique<TKvKeyFileStore>((folder / "config/protection.key").string());
  }
  std::u16string Master() const { return U(folder / "master.key"); }

  TKvSecretServiceKeyStore keyring;
  std::unique_ptr<TKvKeyFileStore> keyFile;
};

TEST_F(RealKeyring, KeepsOneKeyThatALaterRunFindsAndOpensBlobsWith) {
  {
    TKvSealedProtection protection(keyring, *keyFile);
    SaveMasterPassword(u"in the keyring", Master(), protection);
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "config")) << "the keyring answered: no key file";
  TKvKeyId first{}, again{};
  TKvLockedKey key;
  ASSERT_EQ(keyring.Find(nullptr, first, key), TKvKeyLookup::Found);

  TKvSealedProtection later(keyring, *keyFile);
  std::u16string text;
  ASSERT_TRUE(LoadMasterPassword(Master(), text, later));
  EXPECT_EQ(text, u"in the keyring");
  SaveMasterPassword(u"changed", Master(), later);
  ASSERT_EQ(keyring.Find(nullptr, again, key), TKvKeyLookup::Found);
  EXPECT_EQ(again, first) << "the key is reused, never replaced";
  ASSERT_EQ(keyring.Find(&first, again, key), TKvKeyLookup::Found);

  TKvKeyId unknown{};
  unknown.fill(0x5A);
  EXPECT_EQ(keyring.Find(&unknown, again, key), TKvKeyLookup::Missing);
}

TEST_F(RealKeyring, TheProgramsOwnProtectionUsesTheKeyringAndNoKeyFile) {
  // with-keyring.sh points XDG_CONFIG_HOME at its throw-away folder.
  const auto protection = NewUserDataProtection(ProcessEnvironment());
  SaveMasterPassword(u"typed", Master(), *protection);
  std::u16string text;
  ASSERT_TRUE(LoadMasterPassword(Master(), text, *NewUserDataProtection(ProcessEnvironment())));
  EXPECT_EQ(text, u"typed");
  EXPECT_FALSE(std::filesystem::exists(DefaultKeyFilePath(ProcessEnvironment())));
}

// Run by with-keyring.sh --bus-only: a session bus with no keyring on it.
TEST_F(RealKeyring, NoKeyringOnTheBusMeansTheKeyFile) {
  const auto protection = NewUserDataProtection(ProcessEnvironment());
  SaveMasterPassword(u"typed", Master(), *protection);
  EXPECT_TRUE(std::filesystem::exists(DefaultKeyFilePath(ProcessEnvironment())));
  std::u16string text;
  ASSERT_TRUE(LoadMasterPassword(Master(), text, *NewUserDataProtection(ProcessEnvironment())));
  EXPECT_EQ(text, u"typed");
}

// Run on its own keyring: it locks it for good.
TEST_F(RealKeyring, LockedKeyringFallsBackToTheKeyFileWithoutAPrompt) {
  ByteArray sealedInKeyring;
  {
    TKvSealedProtection protection(keyring, *keyFile);
    SaveMasterPassword(u"before the lock", Master(), protection);
  }

  GError *error = nullptr;
  SecretService *service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
  ASSERT_NE(service, nullptr) << error->message;
  SecretCollection *collection = secret_collection_for_alias_sync(
      service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, nullptr, &error);
  ASSERT_NE(collection, nullptr) << error->message;
  GList *objects = g_list_append(nullptr, collection);
  EXPECT_EQ(secret_service_lock_sync(service, objects, nullptr, nullptr, &error), 1);
  g_list_free(objects);
  ASSERT_TRUE(secret_collection_get_locked(collection));
  g_object_unref(collection);
  g_object_unref(service);
  // With a display a store into a locked keyring would open a prompt and wait for ever.
  setenv("DISPLAY", ":97", 1);

  TKvSealedProtection protection(keyring, *keyFile);
  std::u16string text;
  EXPECT_THROW(LoadMasterPassword(Master(), text, protection), EKvError);
  try {
    LoadMasterPassword(Master(), text, protection);
  } catch (const EKvError &failure) {
    EXPECT_EQ(failure.Message(), u"Failed to load master key [Windows error code: 1168]");
  }
  TKvKeyId id{};
  TKvLockedKey key;
  EXPECT_EQ(keyring.Find(nullptr, id, key), TKvKeyLookup::Unavailable);
  SaveMasterPassword(u"while locked", Master(), protection);
  EXPECT_TRUE(std::filesystem::exists(folder / "config/protection.key"));
  TKvSealedProtection later(keyring, *keyFile);
  ASSERT_TRUE(LoadMasterPassword(Master(), text, later));
  EXPECT_EQ(text, u"while locked");
}

} // namespace
