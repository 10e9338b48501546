// SPDX-License-Identifier: GPL-3.0-or-later
#include "storage/MasterPassword.h"

#include "common/KvError.h"
#include "common/SecureZero.h"
#include "common/Unicode.h"
#include "platform/FileSystem.h"

#include <algorithm>

namespace {

void Wipe(ByteArray &bytes) {
  SecureZero(bytes.data(), bytes.size());
  bytes.clear();
}

std::u16string Decimal(uint32_t code) {
  return Utf8ToUtf16(std::to_string(code));
}

[[noreturn]] void FailedToLoad(uint32_t code) {
  throw EKvError(u"Failed to load master key [Windows error code: " + Decimal(code) + u"]");
}

// A password with any character outside U+0001..U+00FF is stored as this tag and then its UTF-8,
// each unpaired surrogate written in the three-byte form of its code, so that any UTF-16 text
// comes back exactly. A low-byte payload starts with 0x00 only when its password began with
// U+0000 or U+xx00, which that form had already lost, so the tag takes nothing readable away.
constexpr uint8_t ExactFormTag[] = {0x00, 'U', '8'};

bool IsLowByteText(const std::u16string &text) {
  return std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= 0x01 && c <= 0xFF; });
}

ByteArray ExactForm(const std::u16string &text) {
  std::string utf8 = Utf16ToUtf8(text, TKvLoneSurrogates::Keep);
  ByteArray bytes;
  // One allocation at the final size: a reallocation would leave a copy of the password behind.
  bytes.reserve(std::size(ExactFormTag) + utf8.size());
  bytes.assign(std::begin(ExactFormTag), std::end(ExactFormTag));
  bytes.insert(bytes.end(), utf8.begin(), utf8.end());
  SecureZero(utf8.data(), utf8.size());
  return bytes;
}

// The text of the bytes after the tag. Only the program writes them, sealed: bytes that are not
// the form it writes are a damaged payload.
std::u16string FromExactForm(const ByteArray &bytes) {
  bool valid = false;
  std::u16string text = Utf8ToUtf16(
      std::string_view(reinterpret_cast<const char *>(bytes.data()) + std::size(ExactFormTag),
                       bytes.size() - std::size(ExactFormTag)),
      &valid, TKvLoneSurrogates::Keep);
  if (!valid) {
    SecureZero(text.data(), text.size() * sizeof(char16_t));
    FailedToLoad(KvErrorInvalidData);
  }
  return text;
}

} // namespace

std::size_t TKvMemoryStream::Read(uint8_t *buffer, std::size_t count) {
  const std::size_t n = FPosition < FBytes.size() ? std::min(count, FBytes.size() - FPosition) : 0;
  std::copy_n(FBytes.begin() + std::ptrdiff_t(FPosition), n, buffer);
  FPosition += n;
  return n;
}

std::size_t TKvMemoryStream::Write(const uint8_t *buffer, std::size_t count) {
  if (FBytes.size() < FPosition + count)
    FBytes.resize(FPosition + count);
  std::copy_n(buffer, count, FBytes.begin() + std::ptrdiff_t(FPosition));
  FPosition += count;
  return count;
}

TKvMasterPassword::TKvMasterPassword(IKvDataProtection &protection) : FProtection(protection) {}

TKvMasterPassword::~TKvMasterPassword() {
  Wipe(FKey);
}

void TKvMasterPassword::SetKey(ByteArray key) {
  Wipe(FKey);
  FKey = std::move(key);
}

void TKvMasterPassword::Clear() {
  Wipe(FKey);
}

ByteArray TKvMasterPassword::ProtectKey() {
  uint32_t error = 0;
  auto blob = FProtection.Protect(FKey, FShared, error);
  if (!blob)
    throw EKvError(u"Failed to save master key [Windows error code: " + Decimal(error) + u"]");
  return std::move(*blob);
}

ByteArray TKvMasterPassword::UnprotectKey(const ByteArray &blob) {
  uint32_t error = 0;
  auto key = FProtection.Unprotect(blob, error);
  if (!key)
    FailedToLoad(error);
  return std::move(*key);
}

void TKvMasterPassword::SaveToStream(IKvStream &stream) {
  const ByteArray blob = ProtectKey();
  for (std::size_t done = 0; done < blob.size();) {
    const std::size_t n = stream.Write(blob.data() + done, blob.size() - done);
    if (n == 0)
      throw EKvError(u"Stream write error");
    done += n;
  }
}

void TKvMasterPassword::LoadFromStream(IKvStream &stream) {
  const auto size = uint32_t(stream.Size()); // a 32-bit count, as the file format has it
  ByteArray blob(size);
  for (std::size_t done = 0; done < blob.size();) {
    const std::size_t n = stream.Read(blob.data() + done, blob.size() - done);
    if (n == 0)
      throw EKvError(u"Stream read error");
    done += n;
  }
  SetKey(UnprotectKey(blob));
}

void TKvMasterPassword::SaveToFile(const std::u16string &fileName) {
  // The blob is made before the file is touched, and the file is replaced as a whole: a failure
  // never costs the password saved before.
  TKvMemoryStream blob;
  SaveToStream(blob);
  ReplaceFileAtomically(fileName, blob.Bytes(), FileAccess::OwnerOnly);
}

void TKvMasterPassword::LoadFromFile(const std::u16string &fileName) {
  TKvMemoryStream stream(ReadWholeFile(fileName));
  LoadFromStream(stream);
}

ByteArray StringToBytes(const std::u16string &text) {
  if (!IsLowByteText(text))
    return ExactForm(text);
  ByteArray bytes(text.size());
  std::transform(text.begin(), text.end(), bytes.begin(),
                 [](char16_t c) { return uint8_t(c & 0xFF); });
  return bytes;
}

std::u16string BytesToString(const ByteArray &bytes) {
  if (bytes.size() >= std::size(ExactFormTag) &&
      std::equal(std::begin(ExactFormTag), std::end(ExactFormTag), bytes.begin()))
    return FromExactForm(bytes);
  return std::u16string(bytes.begin(), bytes.end());
}

void SaveMasterPassword(const std::u16string &text, const std::u16string &fileName,
                        IKvDataProtection &protection) {
  TKvMasterPassword container(protection);
  container.SetKey(StringToBytes(text));
  container.SaveToFile(fileName);
}

void DeleteMasterPassword(const std::u16string &fileName) {
  RemoveFile(fileName);
}

bool LoadMasterPassword(const std::u16string &fileName, std::u16string &text,
                        IKvDataProtection &protection) {
  // Anything of that name that is not a readable file (a folder, a file in a folder that may not
  // be searched) is an error to report, not a password that was never saved.
  if (NothingAt(fileName))
    return false;
  TKvMasterPassword container(protection);
  container.LoadFromFile(fileName);
  if (!container.IsKey())
    return false;
  text = BytesToString(container.Key());
  return true;
}
