// SPDX-License-Identifier: GPL-3.0-or-later
// Another program holding a file open, as a virus scanner, an indexer, a backup tool or a sync
// client does: it opens FILE for reading, letting others share it as SHARING says ("none", or
// "read" for other readers), writes "held" to its standard output once it holds the file, and
// lets go after MILLISECONDS (4294967295: never; it runs until it is ended). Exits with 1, having
// written nothing, when the file cannot be opened.
//   kv_file_holder FILE none|read MILLISECONDS

#include <cwchar>
#include <windows.h>
// after windows.h, which it builds on
#include <shellapi.h>

int main() {
  int count = 0;
  wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count != 4)
    return 2;
  const DWORD sharing = std::wcscmp(arguments[2], L"read") == 0 ? FILE_SHARE_READ : 0;
  const HANDLE file = CreateFileW(arguments[1], GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return 1;
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "held\n", 5, &written, nullptr);
  Sleep(DWORD(std::wcstoul(arguments[3], nullptr, 10)));
  CloseHandle(file);
  return 0;
}
