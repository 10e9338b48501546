// quillgate-cli: the site password of the tray program, for terminals and scripts.

#include "common/SecureZero.h"
#include "common/Unicode.h"
#include "crypto/SitePassword.h"
#include "platform/Terminal.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int ExitOk = 0, ExitRefused = 1, ExitUsage = 2;

constexpr const char *Usage =
    "Usage: quillgate-cli derive URL [LOGIN]\n"
    "       quillgate-cli --help | --version\n"
    "\n"
    "Prints the site password for URL and LOGIN, derived from the master password.\n"
    "The master password is read from the terminal without echo or, when standard input\n"
    "is not a terminal, as its first line.\n";

int Fail(int code, const char *message) {
  std::fprintf(stderr, "%s\n", message);
  return code;
}

int UsageError() {
  std::fputs(Usage, stderr);
  return ExitUsage;
}

// The first line of a non-interactive standard input, without its LF or CR LF; every other
// byte is kept exactly.
std::string ReadFirstLine() {
  std::string line;
  line.reserve(256);
  int c;
  while ((c = std::fgetc(stdin)) != EOF && c != '\n')
    line.push_back(char(c));
  if (c == '\n' && !line.empty() && line.back() == '\r')
    line.pop_back();
  return line;
}

std::optional<std::u16string> DecodeArgument(std::string_view bytes) {
  bool valid = false;
  std::u16string text = Utf8ToUtf16(bytes, &valid);
  if (!valid)
    return std::nullopt;
  return text;
}

int Derive(std::string_view urlArgument, std::string_view loginArgument) {
  const auto url = DecodeArgument(urlArgument);
  if (!url)
    return Fail(ExitUsage, "quillgate-cli: the URL is not valid UTF-8.");
  const auto login = DecodeArgument(loginArgument);
  if (!login)
    return Fail(ExitUsage, "quillgate-cli: the login is not valid UTF-8.");

  std::string secret;
  if (StdinIsTerminal())
    secret = ReadSecretLine("Master password: ").value_or("");
  else
    secret = ReadFirstLine();
  bool valid = false;
  std::u16string master = Utf8ToUtf16(secret, &valid);
  SecureZero(secret.data(), secret.size());
  if (!valid) {
    SecureZero(master.data(), master.size() * sizeof(char16_t));
    return Fail(ExitUsage, "quillgate-cli: the master password is not valid UTF-8.");
  }

  // The same checks, in the same order, as the window's "Generate".
  int result = ExitOk;
  if (master.empty())
    result = Fail(ExitRefused, "Please enter a master password!");
  else if (url->empty())
    result = Fail(ExitRefused, "Please enter an URL!");
  else if (url->find(u"://") == std::u16string::npos)
    result = Fail(ExitRefused, "Please enter a valid URL!");
  else {
    const std::string password = Utf16ToUtf8(DeriveSitePassword(master, *url, *login));
    std::fputs((password + "\n").c_str(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
      result = Fail(ExitRefused, "quillgate-cli: cannot write the password to standard output.");
  }
  SecureZero(master.data(), master.size() * sizeof(char16_t));
  return result;
}

} // namespace

int main(int argc, char **argv) {
  const std::vector<std::string> arguments = CommandLineArguments(argc, argv);
  const std::size_t count = arguments.size();
  const std::string_view command = count > 0 ? arguments[0] : "";
  if (count == 1 && (command == "--help" || command == "-h")) {
    std::fputs(Usage, stdout);
    return ExitOk;
  }
  if (count == 1 && command == "--version") {
    std::puts("quillgate-cli " KV_VERSION);
    return ExitOk;
  }
  if (command == "derive" && (count == 2 || count == 3))
    return Derive(arguments[1], count == 3 ? arguments[2] : "");
  return UsageError();
}
