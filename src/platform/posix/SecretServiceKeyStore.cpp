// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/SecretServiceKeyStore.h"

#include "common/SecureZero.h"
#include "platform/SharedLibrary.h"

#include <condition_variable>
#include <cstring>
#include <libsecret/secret.h>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

const SecretSchema KeySchema = {
    "org.korvane.Quillgate.ProtectionKey",
    SECRET_SCHEMA_NONE,
    {{"key-id", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr};

// The libsecret, GLib and GIO entry points the store uses, all found through libsecret (which
// loads the other two), opened at the store's first call.
struct TSecretLibrary {
  TKvSharedLibrary Library{KV_SECRET_SONAME};
  KV_LIBRARY_FUNCTION(Library, g_free);
  KV_LIBRARY_FUNCTION(Library, g_strdup);
  KV_LIBRARY_FUNCTION(Library, g_str_hash);
  KV_LIBRARY_FUNCTION(Library, g_str_equal);
  KV_LIBRARY_FUNCTION(Library, g_clear_error);
  KV_LIBRARY_FUNCTION(Library, g_hash_table_new_full);
  KV_LIBRARY_FUNCTION(Library, g_hash_table_insert);
  KV_LIBRARY_FUNCTION(Library, g_hash_table_lookup);
  KV_LIBRARY_FUNCTION(Library, g_hash_table_unref);
  KV_LIBRARY_FUNCTION(Library, g_list_free_full);
  KV_LIBRARY_FUNCTION(Library, g_object_unref);
  KV_LIBRARY_FUNCTION(Library, g_cancellable_new);
  KV_LIBRARY_FUNCTION(Library, g_cancellable_cancel);
  KV_LIBRARY_FUNCTION(Library, secret_service_get_sync);
  KV_LIBRARY_FUNCTION(Library, secret_service_search_sync);
  KV_LIBRARY_FUNCTION(Library, secret_collection_for_alias_sync);
  KV_LIBRARY_FUNCTION(Library, secret_collection_get_locked);
  KV_LIBRARY_FUNCTION(Library, secret_item_create_sync);
  KV_LIBRARY_FUNCTION(Library, secret_item_get_attributes);
  KV_LIBRARY_FUNCTION(Library, secret_item_get_locked);
  KV_LIBRARY_FUNCTION(Library, secret_item_get_secret);
  KV_LIBRARY_FUNCTION(Library, secret_value_new);
  KV_LIBRARY_FUNCTION(Library, secret_value_get);
  KV_LIBRARY_FUNCTION(Library, secret_value_unref);
};

// The library, opened once; the store's calls reach it only after Usable said yes.
TSecretLibrary &Secret() {
  static TSecretLibrary library;
  return library;
}

// Owners that hand a GLib or libsecret object back to its library on every path out.
template <auto Release> struct TReleaser {
  template <typename T> void operator()(T *object) const {
    if (object != nullptr)
      (Secret().*Release)(object);
  }
};
template <typename T, auto Release> using TOwned = std::unique_ptr<T, TReleaser<Release>>;
template <typename T> using TRef = TOwned<T, &TSecretLibrary::g_object_unref>;
using THashTable = TOwned<GHashTable, &TSecretLibrary::g_hash_table_unref>;
using TSecretValue = TOwned<SecretValue, &TSecretLibrary::secret_value_unref>;

// A list of objects and the objects in it.
struct TObjectListReleaser {
  void operator()(GList *objects) const {
    Secret().g_list_free_full(objects, Secret().g_object_unref);
  }
};
using TObjectList = std::unique_ptr<GList, TObjectListReleaser>;

// The error a call reports through its GError ** parameter, freed with its owner.
class TError {
public:
  TError() = default;
  ~TError() { Secret().g_clear_error(&FError); }
  TError(const TError &) = delete;
  TError &operator=(const TError &) = delete;
  GError **Out() { return &FError; }
  explicit operator bool() const { return FError != nullptr; }

private:
  GError *FError = nullptr;
};

// Attributes that find this program's key: its id as text, or, without an id, every key.
THashTable KeyAttributes(const TKvKeyId *id) {
  const TSecretLibrary &secret = Secret();
  THashTable attributes(
      secret.g_hash_table_new_full(secret.g_str_hash, secret.g_str_equal, nullptr, secret.g_free));
  if (id != nullptr)
    secret.g_hash_table_insert(attributes.get(), const_cast<char *>("key-id"),
                               secret.g_strdup(KeyringHex(id->data(), id->size()).c_str()));
  return attributes;
}

// Cancels the calls made under it once the bound has passed. libsecret's blocking calls run a
// main context of their own, so a timer on any other loop would never fire; a thread does.
class TWatchdog {
public:
  explicit TWatchdog(std::chrono::milliseconds bound) : FCancellable(Secret().g_cancellable_new()) {
    FThread = std::thread([this, bound] {
      std::unique_lock lock(FMutex);
      if (!FDone.wait_for(lock, bound, [this] { return FFinished; }))
        Secret().g_cancellable_cancel(FCancellable.get());
    });
  }
  ~TWatchdog() {
    {
      std::lock_guard lock(FMutex);
      FFinished = true;
    }
    FDone.notify_one();
    FThread.join();
  }
  GCancellable *Cancellable() const { return FCancellable.get(); }

private:
  TRef<GCancellable> FCancellable;
  std::mutex FMutex;
  std::condition_variable FDone;
  bool FFinished = false;
  std::thread FThread;
};

bool FromHex(const char *text, std::size_t length, uint8_t *bytes, std::size_t size) {
  if (text == nullptr || length != 2 * size)
    return false;
  auto digit = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
  };
  for (std::size_t i = 0; i < size; ++i) {
    const int high = digit(text[2 * i]), low = digit(text[2 * i + 1]);
    if (high < 0 || low < 0)
      return false;
    bytes[i] = uint8_t(high << 4 | low);
  }
  return true;
}

TRef<SecretService> Connect(GCancellable *cancellable) {
  TError error;
  return TRef<SecretService>(
      Secret().secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, cancellable, error.Out()));
}

// The default collection, when it exists and is unlocked: the only place a key may be stored.
TRef<SecretCollection> UnlockedDefaultCollection(SecretService *service,
                                                 GCancellable *cancellable) {
  TError error;
  TRef<SecretCollection> collection(Secret().secret_collection_for_alias_sync(
      service, SECRET_COLLECTION_DEFAULT, SECRET_COLLECTION_NONE, cancellable, error.Out()));
  if (collection && Secret().secret_collection_get_locked(collection.get()))
    collection.reset();
  return collection;
}

} // namespace

std::string KeyringHex(const uint8_t *bytes, std::size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * size);
  for (std::size_t i = 0; i < size; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text;
}

TKvKeyLookup TKvSecretServiceKeyStore::Find(const TKvKeyId *wanted, TKvKeyId &id,
                                            TKvLockedKey &key) {
  if (!Secret().Library.Usable()) // no libsecret: as if no keyring answered
    return TKvKeyLookup::Unavailable;
  const TSecretLibrary &secret = Secret();
  const TWatchdog watchdog(FBound);
  GCancellable *cancellable = watchdog.Cancellable();
  const auto service = Connect(cancellable);
  if (!service)
    return TKvKeyLookup::Unavailable;
  // Without an id the caller makes a new key when none is found, so "none" must come from an
  // unlocked collection: a locked keyring at log-on must never lead to a second key.
  if (wanted == nullptr && !UnlockedDefaultCollection(service.get(), cancellable))
    return TKvKeyLookup::Unavailable;

  TError error;
  const TObjectList items(secret.secret_service_search_sync(
      service.get(), &KeySchema, KeyAttributes(wanted).get(),
      SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS), cancellable, error.Out()));
  if (error)
    return TKvKeyLookup::Unavailable;

  TKvKeyLookup result = TKvKeyLookup::Missing;
  for (GList *each = items.get(); each != nullptr && result != TKvKeyLookup::Found;
       each = each->next) {
    auto *item = static_cast<SecretItem *>(each->data);
    const TSecretValue value(secret.secret_item_get_secret(item));
    if (secret.secret_item_get_locked(item) || value == nullptr) {
      result = TKvKeyLookup::Unavailable; // there is a key, but it cannot be read now
    } else {
      const THashTable itemAttributes(secret.secret_item_get_attributes(item));
      const auto *itemId =
          static_cast<const char *>(secret.g_hash_table_lookup(itemAttributes.get(), "key-id"));
      gsize length = 0;
      const gchar *text = secret.secret_value_get(value.get(), &length);
      TKvKeyId found{};
      if (itemId != nullptr && FromHex(itemId, std::strlen(itemId), found.data(), found.size()) &&
          (wanted == nullptr || found == *wanted) &&
          FromHex(text, length, key.Data(), TKvLockedKey::Size)) {
        id = found;
        result = TKvKeyLookup::Found;
      }
    }
  }
  return result;
}

bool TKvSecretServiceKeyStore::Add(const TKvKeyId &id, const TKvLockedKey &key) {
  if (!Secret().Library.Usable())
    return false;
  const TSecretLibrary &library = Secret();
  const TWatchdog watchdog(FBound);
  GCancellable *cancellable = watchdog.Cancellable();
  const auto service = Connect(cancellable);
  if (!service)
    return false;
  const auto collection = UnlockedDefaultCollection(service.get(), cancellable);
  if (!collection)
    return false;

  std::string secret = KeyringHex(key.Data(), TKvLockedKey::Size);
  const TSecretValue value(
      library.secret_value_new(secret.data(), gssize(secret.size()), "text/plain"));
  SecureZero(secret.data(), secret.size());
  TError error;
  const TRef<SecretItem> item(
      library.secret_item_create_sync(collection.get(), &KeySchema, KeyAttributes(&id).get(),
                                      "Korvane Quillgate saved password key", value.get(),
                                      SECRET_ITEM_CREATE_NONE, cancellable, error.Out()));
  return item != nullptr;
}
