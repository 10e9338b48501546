// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/KvTypes.h"
#include "platform/DataProtection.h"

#include <cstdint>
#include <string>

// A byte stream as the key container reads and writes it.
class IKvStream {
public:
  virtual ~IKvStream() = default;
  // Bytes moved, 0 when nothing could be.
  virtual std::size_t Read(uint8_t *buffer, std::size_t count) = 0;
  virtual std::size_t Write(const uint8_t *buffer, std::size_t count) = 0;
  // The total size in bytes, counted from the start.
  virtual uint64_t Size() const = 0;
};

class TKvMemoryStream : public IKvStream {
public:
  TKvMemoryStream() = default;
  explicit TKvMemoryStream(ByteArray bytes) : FBytes(std::move(bytes)) {}
  std::size_t Read(uint8_t *buffer, std::size_t count) override;
  std::size_t Write(const uint8_t *buffer, std::size_t count) override;
  uint64_t Size() const override { return FBytes.size(); }
  const ByteArray &Bytes() const { return FBytes; }
  void Seek(std::size_t position) { FPosition = position; }

private:
  ByteArray FBytes;
  std::size_t FPosition = 0;
};

// Holds key bytes and moves them to and from a protected blob, a stream or a file. The bytes are
// overwritten with zeros whenever the container lets go of them.
class TKvMasterPassword {
public:
  explicit TKvMasterPassword(IKvDataProtection &protection);
  virtual ~TKvMasterPassword();
  TKvMasterPassword(const TKvMasterPassword &) = delete;
  TKvMasterPassword &operator=(const TKvMasterPassword &) = delete;

  bool IsKey() const { return !FKey.empty(); }
  const ByteArray &Key() const { return FKey; }
  void SetKey(ByteArray key);
  bool Shared() const { return FShared; }
  void SetShared(bool shared) { FShared = shared; }

  void Clear();
  // Raises "Failed to save master key [Windows error code: %d]" or "Stream write error".
  void SaveToStream(IKvStream &stream);
  // Raises "Stream read error" or "Failed to load master key [Windows error code: %d]"; the key
  // is replaced only on success.
  void LoadFromStream(IKvStream &stream);
  // Protects first, then replaces the file atomically (owner only), so a failure leaves the
  // previous file whole. Raises the errors of SaveToStream or "Cannot create file \"%s\". %s".
  void SaveToFile(const std::u16string &fileName);
  // Raises "Cannot open file \"%s\". %s" and the errors of LoadFromStream.
  void LoadFromFile(const std::u16string &fileName);

private:
  ByteArray ProtectKey();
  ByteArray UnprotectKey(const ByteArray &blob);

  IKvDataProtection &FProtection;
  ByteArray FKey;
  bool FShared = false;
};

// The key bytes of a master password, and back; every text comes back exactly. A password whose
// characters all lie in U+0001..U+00FF is one byte per character (the form earlier versions read
// and write); any other is 0x00, a tag and its UTF-8, unpaired surrogates included.
// BytesToString raises "Failed to load master key [Windows error code: 13]" for a tagged payload
// that is not in that form.
ByteArray StringToBytes(const std::u16string &text);
std::u16string BytesToString(const ByteArray &bytes);

// The main window's three operations on master.key.
void SaveMasterPassword(const std::u16string &text, const std::u16string &fileName,
                        IKvDataProtection &protection);
// Nothing happens when there is no such file; raises "Cannot delete file \"%s\". %s" when it
// stays.
void DeleteMasterPassword(const std::u16string &fileName);
// True with the text when a non-empty password was saved; errors are raised to the caller.
bool LoadMasterPassword(const std::u16string &fileName, std::u16string &text,
                        IKvDataProtection &protection);
