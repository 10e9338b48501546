// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Terminal.h"

#include "common/SecureZero.h"
#include "common/Unicode.h"
#include "platform/windows/Owned.h"
#include "platform/windows/WideText.h"

#include <windows.h>
// after windows.h, which they build on
#include <cstdio>
#include <shellapi.h>

namespace {

HANDLE Input() {
  return GetStdHandle(STD_INPUT_HANDLE);
}

DWORD SavedMode = 0;
volatile LONG EchoOff = 0;

// Ctrl+C ends the program on another thread; the console must not stay without echo.
BOOL WINAPI RestoreEcho(DWORD) {
  if (InterlockedExchange(&EchoOff, 0) != 0)
    SetConsoleMode(Input(), SavedMode);
  return FALSE; // and then the default handling ends the program
}

} // namespace

bool StdinIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(Input(), &mode) != 0;
}

std::optional<std::string> ReadSecretLine(const char *prompt) {
  std::fputs(prompt, stderr);
  std::fflush(stderr);
  if (!GetConsoleMode(Input(), &SavedMode))
    return std::nullopt;
  SetConsoleCtrlHandler(RestoreEcho, TRUE);
  InterlockedExchange(&EchoOff, 1);
  SetConsoleMode(Input(), (SavedMode | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) &
                              ~DWORD(ENABLE_ECHO_INPUT));

  std::u16string line;
  line.reserve(256); // a typical password never reallocates, leaving no stray copies
  bool ended = false;
  wchar_t buffer[256];
  for (;;) {
    DWORD read = 0;
    if (!ReadConsoleW(Input(), buffer, DWORD(std::size(buffer)), &read, nullptr) || read == 0)
      break;
    line.append(reinterpret_cast<const char16_t *>(buffer), read);
    SecureZeroMemory(buffer, sizeof buffer);
    if (const auto end = line.find(u'\n'); end != std::u16string::npos) {
      line.resize(end);
      ended = true;
      break;
    }
  }
  if (!line.empty() && line.back() == u'\r')
    line.pop_back();

  if (InterlockedExchange(&EchoOff, 0) != 0)
    SetConsoleMode(Input(), SavedMode);
  SetConsoleCtrlHandler(RestoreEcho, FALSE);
  std::fputs("\n", stderr); // the Enter key was not echoed

  std::optional<std::string> result;
  if (ended || !line.empty())
    result = Utf16ToUtf8(line);
  SecureZero(line.data(), line.size() * sizeof(char16_t));
  return result;
}

std::vector<std::string> CommandLineArguments(int, char **) {
  std::vector<std::string> arguments;
  int count = 0;
  const TKvLocalMemory<wchar_t *> wide(CommandLineToArgvW(GetCommandLineW(), &count));
  if (wide == nullptr)
    return arguments;
  for (int i = 1; i < count; ++i)
    arguments.push_back(Utf16ToUtf8(FromWide(wide.get()[i])));
  return arguments;
}
