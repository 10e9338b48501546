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

bool IsHighSurrogate(uint32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(uint32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

ByteArray ExactForm(const std::u16string &text) {
  ByteArray bytes;
  // Room for the longest form up front: a reallocation would leave a copy of the password behind.
  bytes.reserve(std::size(ExactFormTag) + 3 * text.size());
  bytes.assign(std::begin(ExactFormTag), std::end(ExactFormTag));
  for (std::size_t i = 0; i < text.size(); ++i) {
    uint32_t code = text[i];
    if (IsHighSurrogate(code) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00u);
    if (code < 0x80) {
      bytes.push_back(uint8_t(code));
    } else if (code < 0x800) {
      bytes.push_back(uint8_t(0xC0 | code >> 6));
      bytes.push_back(uint8_t(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      bytes.push_back(uint8_t(0xE0 | code >> 12));
      bytes.push_back(uint8_t(0x80 | (code >> 6 & 0x3F)));
      bytes.push_back(uint8_t(0x80 | (code & 0x3F)));
    } else {
      bytes.push_back(uint8_t(0xF0 | code >> 18));
      bytes.push_back(uint8_t(0x80 | (code >> 12 & 0x3F)));
      bytes.push_back(uint8_t(0x80 | (code >> 6 & 0x3F)));
      bytes.push_back(uint8_t(0x80 | (code & 0x3F)));
    }
  }
  return bytes;
}

// The text of the bytes after the tag. Only the program writes them, sealed: bytes that are not
// the form it writes are a damaged payload.
std::u16string FromExactForm(const ByteArray &bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (std::size_t i = std::size(ExactFormTag); i < bytes.size();) {
    const uint8_t lead = bytes[i++];
    int following = 0; // continuation bytes after the lead byte
    if (lead >= 0xC2 && lead < 0xE0)
      following = 1;
    else if (lead >= 0xE0 && lead < 0xF0)
      following = 2;
    else if (lead >= 0xF0 && lead < 0xF5)
      following = 3;
    else if (lead >= 0x80)
      FailedToLoad(KvErrorInvalidData);
    if (bytes.size() - i < std::size_t(following))
      FailedToLoad(KvErrorInvalidData);
    uint32_t code = following == 0 ? lead : lead & (0x3Fu >> following);
    for (int k = 0; k < following; ++k) {
      if ((bytes[i] & 0xC0) != 0x80)
        FailedToLoad(KvErrorInvalidData);
      code = code << 6 | (bytes[i++] & 0x3Fu);
    }
    const uint32_t shortest[] = {0, 0x80, 0x800, 0x10000};
    if (code < shortest[following] || code > 0x10FFFF)
      FailedToLoad(KvErrorInvalidData);
    if (code < 0x10000) {
      text.push_back(char16_t(code));
    } else {
      text.push_back(char16_t(0xD800 + ((code - 0x10000) >> 10)));
      text.push_back(char16_t(0xDC00 + ((code - 0x10000) & 0x3FF)));
    }
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
  if (!FileExists(fileName))
    return false;
  TKvMasterPassword container(protection);
  container.LoadFromFile(fileName);
  if (!container.IsKey())
    return false;
  text = BytesToString(container.Key());
  return true;
}
