// SPDX-License-Identifier: GPL-3.0-or-later
// quillgate-cli: the site password of the tray program, for terminals and scripts.

#include "cli/FirstLine.h"
#include "common/KvError.h"
#include "common/SecureZero.h"
#include "common/Unicode.h"
#include "crypto/Fingerprint.h"
#include "crypto/SitePassword.h"
#include "platform/ProcessProtection.h"
#include "platform/Terminal.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int ExitOk = 0, ExitRefused = 1, ExitUsage = 2, ExitOutput = 3;

constexpr const char *Usage =
    "Usage: quillgate-cli derive URL [LOGIN]\n"
    "       quillgate-cli fingerprint\n"
    "       quillgate-cli --help | --version\n"
    "\n"
    "Prints the site password for URL and LOGIN, derived from the master password.\n"
    "fingerprint prints the master password's three symbols, as the window shows them, and how\n"
    "strong it is.\n"
    "The master password is read from the terminal without echo or, when standard input\n"
    "is not a terminal, as its first line.\n";

int Fail(int code, const char *message) {
  std::fprintf(stderr, "%s\n", message);
  return code;
}

// Writes text to standard output; a write that fails (a full disk, a closed pipe) has its own exit
// code, so that a script never takes a missing password for refused input.
int Print(const std::string &text) {
  std::fputs(text.c_str(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    return Fail(ExitOutput, "quillgate-cli: cannot write to standard output.");
  return ExitOk;
}

int UsageError() {
  std::fputs(Usage, stderr);
  return ExitUsage;
}

std::optional<std::u16string> DecodeArgument(std::string_view bytes) {
  bool valid = false;
  std::u16string text = Utf8ToUtf16(bytes, &valid);
  if (!valid)
    return std::nullopt;
  return text;
}

// The master password from the terminal without echo or, from a script, as the first line of
// input; on a refusal, the message is printed and its exit code returned.
int ReadMasterPassword(std::u16string &master) {
  std::string secret;
  if (StdinIsTerminal())
    secret = ReadSecretLine("Master password: ").value_or("");
  else
    secret = ReadFirstLine(stdin);
  bool valid = false;
  master = Utf8ToUtf16(secret, &valid);
  SecureZero(secret.data(), secret.size());
  if (!valid) {
    SecureZero(master.data(), master.size() * sizeof(char16_t));
    return Fail(ExitUsage, "quillgate-cli: the master password is not valid UTF-8.");
  }
  // The window's master password box cannot hold a NUL character, so no password derived from
  // one could ever be made again there.
  if (master.find(u'\0') != std::u16string::npos) {
    SecureZero(master.data(), master.size() * sizeof(char16_t));
    return Fail(ExitRefused, "quillgate-cli: the master password contains a NUL character.");
  }
  return ExitOk;
}

int Derive(std::string_view urlArgument, std::string_view loginArgument) {
  const auto url = DecodeArgument(urlArgument);
  if (!url)
    return Fail(ExitUsage, "quillgate-cli: the URL is not valid UTF-8.");
  const auto login = DecodeArgument(loginArgument);
  if (!login)
    return Fail(ExitUsage, "quillgate-cli: the login is not valid UTF-8.");

  std::u16string master;
  if (const int refused = ReadMasterPassword(master); refused != ExitOk)
    return refused;

  // The same checks, in the same order, as the window's "Generate".
  int result = ExitOk;
  if (const std::optional<std::u16string> refused = RefusedGenerateInput(master, *url))
    result = Fail(ExitRefused, Utf16ToUtf8(*refused).c_str());
  else {
    // Each copy of the password is wiped once printed; the line is made at its final size, so
    // no reallocation leaves one behind.
    std::u16string derived = DeriveSitePassword(master, *url, *login);
    std::string password = Utf16ToUtf8(derived);
    std::string line;
    line.reserve(password.size() + 1);
    line.append(password).push_back('\n');
    result = Print(line);
    SecureZero(derived.data(), derived.size() * sizeof(char16_t));
    SecureZero(password.data(), password.size());
    SecureZero(line.data(), line.size());
  }
  SecureZero(master.data(), master.size() * sizeof(char16_t));
  return result;
}

// The three symbols' numbers and names, then the strength sentence: what the window's master
// password box shows for the same password.
int Fingerprint() {
#ifdef KV_FINGERPRINT
  std::u16string master;
  if (const int refused = ReadMasterPassword(master); refused != ExitOk)
    return refused;
  int result = ExitOk;
  if (master.empty())
    result = Fail(ExitRefused, "Please enter a master password!");
  else
    try {
      const std::u16string lines = FingerprintLine(FingerprintSymbols(FingerprintHash(master))) +
                                   u"\n" + StrengthSentence(GuessesExponent(master)) + u"\n";
      result = Print(Utf16ToUtf8(lines));
    } catch (const EKvError &error) {
      result = Fail(ExitRefused, error.what());
    }
  SecureZero(master.data(), master.size() * sizeof(char16_t));
  return result;
#else
  constexpr int ExitUnavailable = 4;
  return Fail(ExitUnavailable,
              "quillgate-cli: the master password's fingerprint is not available in this build.");
#endif
}

} // namespace

int main(int argc, char **argv) {
  ProtectProcessMemory();
  const std::vector<std::string> arguments = CommandLineArguments(argc, argv);
  const std::size_t count = arguments.size();
  // A view of the argument itself, never of a temporary string made for the condition.
  const std::string_view command = count > 0 ? std::string_view(arguments[0]) : std::string_view();
  if (count == 1 && (command == "--help" || command == "-h"))
    return Print(Usage);
  if (count == 1 && command == "--version")
    return Print("quillgate-cli " KV_VERSION "\n");
  if (command == "derive" && (count == 2 || count == 3))
    return Derive(arguments[1], count == 3 ? arguments[2] : "");
  if (command == "fingerprint" && count == 1)
    return Fingerprint();
  return UsageError();
}
