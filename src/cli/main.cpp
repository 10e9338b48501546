// SPDX-License-Identifier: GPL-3.0-or-later
// quillgate-cli: the site password of the tray program, for terminals and scripts.

#include "cli/FirstLine.h"
#include "common/KvError.h"
#include "common/SecureZero.h"
#include "common/Unicode.h"
#include "crypto/Fingerprint.h"
#include "crypto/PasswordRules.h"
#include "crypto/SitePassword.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"
#include "platform/ProcessProtection.h"
#include "platform/Terminal.h"
#include "sites/KnownRules.h"
#include "sites/SiteSession.h"
#include "storage/Settings.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int ExitOk = 0, ExitRefused = 1, ExitUsage = 2, ExitOutput = 3;

constexpr const char *Usage =
    "Usage: quillgate-cli derive [--counter N] [--rules TEXT | --known-rules | --no-rules]\n"
    "                            URL [LOGIN]\n"
    "       quillgate-cli rules HOST\n"
    "       quillgate-cli fingerprint\n"
    "       quillgate-cli [derive | rules | fingerprint] --help\n"
    "       quillgate-cli --version\n"
    "\n"
    "Prints the site password for URL and LOGIN, derived from the master password, as the\n"
    "window gives it: with the rules and the version the data folder records for the first site\n"
    "whose URL is exactly URL and for exactly that LOGIN, else the plain password. The data\n"
    "folder is only read. These options take the place of what is recorded:\n"
    "  --counter N     the password's version N (1 or more)\n"
    "  --rules TEXT    the password rules TEXT\n"
    "  --known-rules   the rules known for URL's site (see rules), or none when none are known\n"
    "  --no-rules      no rules\n"
    "rules prints the password rules known for HOST, then the domain they are known for.\n"
    "fingerprint prints the master password's three symbols, as the window shows them, and how\n"
    "strong it is.\n"
    "The master password is read from the terminal without echo or, when standard input\n"
    "is not a terminal, as its first line.\n";

// Every message on the standard error carries the program's name, as a script's log needs it.
int Fail(int code, const std::string &message) {
  std::fprintf(stderr, "quillgate-cli: %s\n", message.c_str());
  return code;
}

// Writes text to standard output; a write that fails (a full disk, a closed pipe) has its own exit
// code, so that a script never takes a missing password for refused input.
int Print(const std::string &text) {
  std::fputs(text.c_str(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    return Fail(ExitOutput, "cannot write to standard output.");
  return ExitOk;
}

// The mistake, when known, in a line of its own before the usage.
int UsageError(const std::string &mistake = {}) {
  if (!mistake.empty())
    std::fprintf(stderr, "quillgate-cli: %s\n", mistake.c_str());
  std::fputs(Usage, stderr);
  return ExitUsage;
}

bool IsHelp(std::string_view argument) {
  return argument == "--help" || argument == "-h";
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
    return Fail(ExitUsage, "the master password is not valid UTF-8.");
  }
  // The window's master password box cannot hold a NUL character, so no password derived from
  // one could ever be made again there.
  if (master.find(u'\0') != std::u16string::npos) {
    SecureZero(master.data(), master.size() * sizeof(char16_t));
    return Fail(ExitRefused, "the master password contains a NUL character.");
  }
  return ExitOk;
}

// What derive is asked for besides the master password; Help asks for the usage alone.
struct TDeriveRequest {
  bool Help = false;
  std::string_view URL, Login;
  std::optional<int32_t> Counter;
  enum class TRules { Recorded, Given, Known, None } Rules = TRules::Recorded;
  std::string_view RulesText;
};

std::optional<int32_t> ParseCounter(std::string_view text) {
  int32_t counter = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), counter);
  if (error != std::errc() || end != text.data() + text.size() || counter < 1)
    return std::nullopt;
  return counter;
}

// The options, in any order before, between or after URL and LOGIN ("--" ends them); none for
// arguments that do not make one request, with mistake naming an option derive does not know.
std::optional<TDeriveRequest> ParseDerive(const std::vector<std::string> &arguments,
                                          std::string &mistake) {
  TDeriveRequest request;
  std::vector<std::string_view> operands;
  bool options = true;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    const bool rulesOption =
        argument == "--rules" || argument == "--known-rules" || argument == "--no-rules";
    if (options && IsHelp(argument)) {
      request.Help = true;
      return request;
    }
    if (!options || !argument.starts_with("--")) {
      operands.push_back(argument);
    } else if (argument == "--") {
      options = false;
    } else if (argument == "--counter" && i + 1 < arguments.size() && !request.Counter) {
      request.Counter = ParseCounter(arguments[++i]);
      if (!request.Counter)
        return std::nullopt;
    } else if (rulesOption && request.Rules == TDeriveRequest::TRules::Recorded) {
      if (argument == "--rules") {
        if (i + 1 == arguments.size())
          return std::nullopt;
        request.Rules = TDeriveRequest::TRules::Given;
        request.RulesText = arguments[++i];
      } else {
        request.Rules = argument == "--known-rules" ? TDeriveRequest::TRules::Known
                                                    : TDeriveRequest::TRules::None;
      }
    } else {
      if (argument != "--counter" && !rulesOption)
        mistake = "unknown option \"" + std::string(argument) + "\" of derive.";
      return std::nullopt;
    }
  }
  if (operands.empty() || operands.size() > 2)
    return std::nullopt;
  request.URL = operands[0];
  request.Login = operands.size() == 2 ? operands[1] : std::string_view();
  return request;
}

// What the window gives for url and login, from the data folder it uses, which is only read.
// Raises the read error of a file the window could not read either.
TKvPasswordRecipe RecordedRecipe(const std::u16string &url, const std::u16string &login) {
  const IKvEnvironment &env = ProcessEnvironment();
  const std::u16string files[] = {GetURLsFileName(env), GetLoginsFileName(env),
                                  GetRecordsFileName(env)};
  // The file's own error, without what the window makes of it for its user.
  for (const std::u16string &file : files)
    if (!NothingAt(file))
      ReadWholeFile(file);
  TKvSiteSession session(files[0], files[1], GetConfigFileName(env), files[2]);
  session.Read();
  return session.Recipe(url, login);
}

// The recipe for the request: the options take the place of what is recorded. On a refusal, the
// message is printed and its exit code returned.
int FindRecipe(const TDeriveRequest &request, const std::u16string &url,
               const std::u16string &login, TKvPasswordRecipe &recipe) {
  using TRules = TDeriveRequest::TRules;
  if (!request.Counter || request.Rules == TRules::Recorded)
    try {
      recipe = RecordedRecipe(url, login);
    } catch (const EKvError &error) {
      std::string reason = error.what();
      if (!reason.ends_with('.'))
        reason += '.';
      return Fail(ExitRefused,
                  reason +
                      "\nThe rules and version recorded for the site are unknown; give --counter "
                      "and one of --rules, --known-rules and --no-rules to derive without them.");
    }
  recipe.Version = request.Counter.value_or(recipe.Version);
  if (request.Rules == TRules::Given)
    recipe.Rules = Utf8ToUtf16(request.RulesText);
  else if (request.Rules == TRules::Known)
    recipe.Rules = std::u16string(KnownRuleForURL(url).value_or(TKvKnownRule{}).Rules);
  else if (request.Rules == TRules::None)
    recipe.Rules.clear();
  // Rules that cannot be used are refused before the master password is asked for.
  if (!NoPasswordRules(recipe.Rules))
    try {
      ParsePasswordRules(recipe.Rules);
    } catch (const EKvError &error) {
      return Fail(ExitRefused, error.what());
    }
  return ExitOk;
}

// The refusal of "Generate" in the window's words; a terminal shows no example URL, so the
// invalid URL's refusal says what a URL needs.
std::string RefusalLine(std::u16string_view refused) {
  std::string line = Utf16ToUtf8(refused);
  if (refused == InvalidURLRefusal)
    line += " A URL begins with a scheme, such as https://.";
  return line;
}

int Derive(const std::vector<std::string> &arguments) {
  std::string mistake;
  const std::optional<TDeriveRequest> request = ParseDerive(arguments, mistake);
  if (!request)
    return UsageError(mistake);
  if (request->Help)
    return Print(Usage);
  const auto url = DecodeArgument(request->URL);
  if (!url)
    return Fail(ExitUsage, "the URL is not valid UTF-8.");
  const auto login = DecodeArgument(request->Login);
  if (!login)
    return Fail(ExitUsage, "the login is not valid UTF-8.");
  if (!DecodeArgument(request->RulesText))
    return Fail(ExitUsage, "the rules are not valid UTF-8.");
  TKvPasswordRecipe recipe;
  if (const int refused = FindRecipe(*request, *url, *login, recipe); refused != ExitOk)
    return refused;

  std::u16string master;
  if (const int refused = ReadMasterPassword(master); refused != ExitOk)
    return refused;

  // The same checks, in the same order, as the window's "Generate".
  int result = ExitOk;
  if (const std::optional<std::u16string> refused = RefusedGenerateInput(master, *url))
    result = Fail(ExitRefused, RefusalLine(*refused));
  else
    try {
      // Each copy of the password is wiped once printed; the line is made at its final size, so
      // no reallocation leaves one behind.
      std::u16string derived =
          DeriveSitePassword(master, *url, *login, recipe.Version, recipe.Rules);
      std::string password = Utf16ToUtf8(derived);
      std::string line;
      line.reserve(password.size() + 1);
      line.append(password).push_back('\n');
      result = Print(line);
      SecureZero(derived.data(), derived.size() * sizeof(char16_t));
      SecureZero(password.data(), password.size());
      SecureZero(line.data(), line.size());
    } catch (const EKvError &error) {
      result = Fail(ExitRefused, error.what());
    }
  SecureZero(master.data(), master.size() * sizeof(char16_t));
  return result;
}

// The rules known for a host and the domain they are known for, each on a line of its own.
int Rules(std::string_view hostArgument) {
  const auto host = DecodeArgument(hostArgument);
  if (!host)
    return Fail(ExitUsage, "the host is not valid UTF-8.");
  const std::optional<TKvKnownRule> rule = KnownRuleForHost(*host);
  if (!rule)
    return Fail(ExitRefused,
                "no password rules are known for \"" + std::string(hostArgument) + "\".");
  return Print(
      Utf16ToUtf8(std::u16string(rule->Rules) + u"\n" + std::u16string(rule->Domain) + u"\n"));
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
  return Fail(ExitUnavailable, "the master password's fingerprint is not available in this build.");
#endif
}

} // namespace

int main(int argc, char **argv) {
  ProtectProcessMemory();
  const std::vector<std::string> arguments = CommandLineArguments(argc, argv);
  const std::size_t count = arguments.size();
  // A view of the argument itself, never of a temporary string made for the condition.
  const std::string_view command = count > 0 ? std::string_view(arguments[0]) : std::string_view();
  if (count == 1 && IsHelp(command))
    return Print(Usage);
  if (count == 1 && command == "--version")
    return Print("quillgate-cli " KV_VERSION "\n");
  if (command == "derive")
    return Derive(arguments);
  const bool known = command == "rules" || command == "fingerprint";
  // "--help" after a command asks for the usage, as it does alone.
  if (known && count == 2 && IsHelp(arguments[1]))
    return Print(Usage);
  if (command == "rules" && count == 2)
    return Rules(arguments[1]);
  if (command == "fingerprint" && count == 1)
    return Fingerprint();
  if (count == 0 || known || IsHelp(command) || command == "--version")
    return UsageError();
  return UsageError((command.starts_with('-') ? "unknown option \"" : "unknown command \"") +
                    std::string(command) + "\".");
}
