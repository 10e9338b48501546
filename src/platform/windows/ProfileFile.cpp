// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProfileFile.h"

#include "platform/FileSystem.h"
#include "platform/windows/WideText.h"

#include <windows.h>

std::u16string ReadProfileText(const std::u16string &fileName, const std::u16string &section,
                               const std::u16string &key, const std::u16string &defaultValue) {
  // The system trims the blanks and drops one pair of enclosing quotation marks itself.
  wchar_t buffer[2048];
  const DWORD length = GetPrivateProfileStringW(Wide(section), Wide(key), Wide(defaultValue),
                                                buffer, DWORD(std::size(buffer)), Wide(fileName));
  return FromWide(buffer, length);
}

TKvProfileWrite WriteProfileText(const std::u16string &fileName, const std::u16string &section,
                                 const std::u16string &key, const std::u16string &value) {
  if (WritePrivateProfileStringW(Wide(section), Wide(key), Wide(value), Wide(fileName)))
    return {};
  return {false, SystemErrorText(int(GetLastError()))};
}

TKvProfileWrite WriteProfileTexts(const std::u16string &fileName, const std::u16string &section,
                                  const TKvProfileValues &values) {
  // The profile API takes one key at a time; the system keeps the file's lines as they are.
  for (const auto &[key, value] : values)
    if (TKvProfileWrite written = WriteProfileText(fileName, section, key, value); !written)
      return written;
  return {};
}

void FlushProfileFile(const std::u16string &fileName) {
  // No section, no key, no value: the system writes out its cached copy of the file.
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, Wide(fileName));
}
