// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the built quillgate-cli as a user or a script would.

#include "support/OpenSslReference.h"
#include "support/TempFolder.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <poll.h>
#include <pty.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// A data home of the test's own that holds no data folder, for runs that must find none.
const std::string &EmptyDataHome() {
  static const struct TEmptyFolder {
    std::string Path =
        (std::filesystem::temp_directory_path() / ("kvcli-empty." + std::to_string(getpid())))
            .string();
    TEmptyFolder() { std::filesystem::create_directory(Path); }
    ~TEmptyFolder() { std::filesystem::remove(Path); }
  } folder;
  return folder.Path;
}

// The program's environment: the test's own, with the user's data home in dataHome, so that no
// run ever reads the real user's data folder.
class TEnvironment {
public:
  explicit TEnvironment(const std::string &dataHome) {
    for (char **variable = environ; *variable != nullptr; ++variable)
      if (!std::string_view(*variable).starts_with("XDG_DATA_HOME="))
        FVariables.emplace_back(*variable);
    FVariables.push_back("XDG_DATA_HOME=" + dataHome);
    for (std::string &variable : FVariables)
      FPointers.push_back(variable.data());
    FPointers.push_back(nullptr);
  }
  char **Get() { return FPointers.data(); }

private:
  std::vector<std::string> FVariables;
  std::vector<char *> FPointers;
};

struct CliRun {
  int exitCode = -1;
  std::string out, err;
};

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0)
    text.append(buffer, size_t(n));
  return text;
}

// stdoutFile, when given, takes the program's standard output instead of a pipe. dataHome holds
// the data folder the program reads.
CliRun RunCli(const std::vector<std::string> &args, const std::string &input,
              const char *stdoutFile = nullptr, const std::string &dataHome = EmptyDataHome()) {
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0)
    return {};
  TEnvironment environment(dataHome);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0), dup2(out[1], 1), dup2(err[1], 2);
    if (stdoutFile != nullptr)
      dup2(open(stdoutFile, O_WRONLY | O_CLOEXEC), 1);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
      close(fd);
    std::vector<char *> argv{const_cast<char *>(QUILLGATE_CLI)};
    for (const auto &a : args)
      argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execve(argv[0], argv.data(), environment.Get());
    _exit(127);
  }
  close(in[0]), close(out[1]), close(err[1]);
  // The program may exit without reading its input: a short write is fine, a signal is not.
  signal(SIGPIPE, SIG_IGN);
  if (write(in[1], input.data(), input.size()) < 0) {
    EXPECT_EQ(errno, EPIPE);
  }
  close(in[1]);
  CliRun run;
  run.out = ReadAll(out[0]); // outputs are far smaller than a pipe's buffer
  run.err = ReadAll(err[0]);
  close(out[0]), close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string ReferencePassword(const std::string &master, const std::string &message) {
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz1234567890=";
  const auto mac = ReferenceHmacSha512(master, message);
  std::string password;
  for (size_t i = 0; i < 16; ++i)
    password.push_back(alphabet[mac[i] % 63]);
  return password;
}

TEST(CliDerive, ReadsTheMasterPasswordAsTheFirstLineOfInput) {
  const struct {
    const char *name;
    std::string input, master;
  } cases[] = {
      {"LF ends the line", "master\nsecond line\n", "master"},
      {"CR LF ends the line", "master\r\n", "master"},
      {"no line end", "master", "master"},
      {"a lone CR is kept", "master\r", "master\r"},
      {"blanks are kept", " master \n", " master "},
      {"CR inside is kept", "mas\rter\n", "mas\rter"},
      {"non-ASCII", "p\xc3\xa4ss \xf0\x9f\x94\x91\n", "p\xc3\xa4ss \xf0\x9f\x94\x91"},
      // An editor's UTF-8 byte-order mark is not part of the password; only a leading one.
      {"leading byte-order mark", "\xef\xbb\xbfmaster\n", "master"},
      {"second byte-order mark", "\xef\xbb\xbf\xef\xbb\xbfm\n", "\xef\xbb\xbfm"},
      {"byte-order mark inside", "ma\xef\xbb\xbfster\n", "ma\xef\xbb\xbfster"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const CliRun run = RunCli({"derive", "https://example.com", "alice"}, c.input);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, ReferencePassword(c.master, "https://example.comalice") + "\n");
    EXPECT_EQ(run.err, "");
  }
}

TEST(CliDerive, AgreesWithTheWindowForUtf8Arguments) {
  const CliRun run = RunCli(
      {"derive", "https://\xd0\xbf\xd1\x80\xd0\xb8\xd0\xbc\xd0\xb5\xd1\x80.example"}, "master\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out,
            ReferencePassword("master",
                              "https://\xd0\xbf\xd1\x80\xd0\xb8\xd0\xbc\xd0\xb5\xd1\x80.example") +
                "\n");
  EXPECT_EQ(RunCli({"derive", "https://example.com"}, "master").out, "A58NLjudZTzwek7i\n");
}

TEST(CliDerive, RefusesWhatGenerateRefusesInTheSameOrder) {
  const struct {
    const char *name;
    std::vector<std::string> args;
    std::string input, message;
  } cases[] = {
      {"all empty", {"derive", ""}, "", "quillgate-cli: Please enter a master password!\n"},
      {"empty first line",
       {"derive", "https://x"},
       "\nsecond\n",
       "quillgate-cli: Please enter a master password!\n"},
      {"empty URL", {"derive", "", "bob"}, "m\n", "quillgate-cli: Please enter an URL!\n"},
      // The window's words, and what a URL needs: a terminal shows no example.
      {"bare host",
       {"derive", "example.com"},
       "m\n",
       "quillgate-cli: Please enter a valid URL! A URL begins with a scheme, such as https://.\n"},
      // The window's box cannot hold a NUL, so the password could never be made there again.
      {"NUL in the master password",
       {"derive", ""},
       std::string("ma\0ster\n", 8),
       "quillgate-cli: the master password contains a NUL character.\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const CliRun run = RunCli(c.args, c.input);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, c.message);
  }
  // Anything holding "://" is a URL, however odd.
  EXPECT_EQ(RunCli({"derive", "a://"}, "a\n").out, "gBoj5a6CRcQtnDes\n");
}

TEST(CliDerive, RefusesInvalidUtf8) {
  const struct {
    const char *name;
    std::vector<std::string> args;
    std::string input, message;
  } cases[] = {
      {"URL", {"derive", "https://\xff"}, "m\n", "the URL is not valid UTF-8"},
      {"login", {"derive", "https://x", "\xc0\xaf"}, "m\n", "the login is not valid UTF-8"},
      {"master password",
       {"derive", "https://x"},
       "caf\xe9\n",
       "the master password is not valid UTF-8"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const CliRun run = RunCli(c.args, c.input);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

// Help and the version on the standard output; a mistake named (where there is one to name) in a
// line of its own, then the usage, on the standard error.
TEST(CliUsage, HelpVersionAndMistakes) {
  const std::string usage = "Usage: quillgate-cli derive [--counter N]";
  const struct {
    std::vector<std::string> Args;
    int ExitCode;
    std::string Out, Err; // the beginning of each
  } rows[] = {
      {{"--help"}, 0, usage, ""},
      {{"-h"}, 0, usage, ""},
      {{"derive", "--help"}, 0, usage, ""},
      {{"derive", "https://x", "bob", "-h"}, 0, usage, ""},
      {{"rules", "--help"}, 0, usage, ""},
      {{"fingerprint", "--help"}, 0, usage, ""},
      {{"--version"}, 0, "quillgate-cli 1.5\n", ""},
      // After "--" and as the value of an option it is no request for help.
      {{"derive", "--", "--help"}, 1, "", "quillgate-cli: Please enter a valid URL!"},
      {{"derive", "--rules", "--help", "https://x"},
       1,
       "",
       "quillgate-cli: The site rules \"--help\""},
      {{}, 2, "", "Usage:"},
      {{"derive"}, 2, "", "Usage:"},
      {{"derive", "https://x", "bob", "extra"}, 2, "", "Usage:"},
      {{"rules", "a.example", "--help"}, 2, "", "Usage:"},
      {{"--help", "derive"}, 2, "", "Usage:"},
      {{"generate", "https://x"}, 2, "", "quillgate-cli: unknown command \"generate\".\nUsage:"},
      {{"--nope"}, 2, "", "quillgate-cli: unknown option \"--nope\".\nUsage:"},
      {{"derive", "--count", "2", "https://x"},
       2,
       "",
       "quillgate-cli: unknown option \"--count\" of derive.\nUsage:"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.Args));
    const CliRun run = RunCli(row.Args, "m\n");
    EXPECT_EQ(run.exitCode, row.ExitCode);
    EXPECT_EQ(run.out.substr(0, row.Out.size()), row.Out);
    EXPECT_EQ(run.out.empty(), row.Out.empty());
    EXPECT_EQ(run.err.substr(0, row.Err.size()), row.Err) << run.err;
    EXPECT_EQ(run.err.empty(), row.Err.empty());
  }
}

// The same symbols as the window's (the reference Argon2's known answers) and the strength
// sentence, for the master password read as "derive" reads it.
TEST(CliFingerprint, PrintsTheSymbolsThenTheStrengthSentence) {
  const std::string horse = "7 2 15  brown key, black cross, white bolt\n"
                            "About 10^21 guesses. If one of your site passwords leaks, an "
                            "attacker with graphics cards (10^10 guesses a second) would need "
                            "about 32 centuries to find this master password.\n";
  const struct {
    const char *name;
    std::string input, out;
  } cases[] = {
      {"ascii", "correct horse battery staple\n", horse},
      {"CR LF and a byte-order mark",
       "\xEF\xBB\xBF"
       "correct horse battery staple\r\nrest",
       horse},
      {"cyrillic",
       "\xD0\x9F\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C \xD0\xB4\xD0\xBB\xD1\x8F "
       "\xD0\xBF\xD1\x80\xD0\xBE\xD0\xB2\xD0\xB5\xD1\x80\xD0\xBA\xD0\xB8",
       "1 3 0  orange triangle, red circle, green square\n"},
      {"the commonest password", "password\n",
       "9 1 13  grey cloud, orange triangle, lime arrow\nAbout 10^0 guesses. If one of your site "
       "passwords leaks, an attacker with graphics cards (10^10 guesses a second) would need "
       "about a split second to find this master password.\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const CliRun run = RunCli({"fingerprint"}, c.input);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.substr(0, c.out.size()), c.out);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2);
  }
}

TEST(CliFingerprint, RefusesWhatDeriveRefuses) {
  const struct {
    const char *name;
    std::vector<std::string> args;
    std::string input;
    int exitCode;
    std::string err;
  } cases[] = {
      {"empty", {"fingerprint"}, "\n", 1, "quillgate-cli: Please enter a master password!\n"},
      {"no input", {"fingerprint"}, "", 1, "quillgate-cli: Please enter a master password!\n"},
      {"invalid UTF-8",
       {"fingerprint"},
       "caf\xe9\n",
       2,
       "quillgate-cli: the master password is not valid UTF-8.\n"},
      {"NUL",
       {"fingerprint"},
       std::string("a\0b\n", 4),
       1,
       "quillgate-cli: the master password contains a NUL character.\n"},
      {"an argument", {"fingerprint", "extra"}, "m\n", 2, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const CliRun run = RunCli(c.args, c.input);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.out, "");
    if (!c.err.empty())
      EXPECT_EQ(run.err, c.err);
    else
      EXPECT_NE(run.err.find("Usage:"), std::string::npos);
  }
}

const std::string Horse = "correct horse battery staple\n";

// The passwords that sites with rules and later versions get, through the command line's options.
TEST(CliDerive, GivesTheKnownAnswersOfRulesAndVersions) {
  const struct {
    std::vector<std::string> Args;
    std::string Input, Password;
  } rows[] = {
      {{"derive", "https://www.example.com", "alice"}, Horse, "NJcthVVN=9NPjtym"},
      {{"derive", "--counter", "1", "https://www.example.com", "alice"}, Horse, "NJcthVVN=9NPjtym"},
      {{"derive", "--counter", "2", "https://www.example.com", "alice"}, Horse, "lNGdGyHDIW6n94tk"},
      {{"derive", "https://www.example.com", "alice", "--counter", "3", "--no-rules"},
       Horse,
       "qZLlviwPRrsPCMm0"},
      {{"derive", "--known-rules", "https://www.bestbuy.com", "alice"},
       Horse,
       "?g45*@z>PZe\\gBFLhp(M"},
      {{"derive", "--rules",
        "minlength: 20; required: lower; required: upper; required: digit; required: special;",
        "https://www.bestbuy.com", "alice"},
       Horse,
       "?g45*@z>PZe\\gBFLhp(M"},
      {{"derive", "https://secure.chase.com", "alice@example.org", "--known-rules"},
       Horse,
       "/XuTIsK1+VIqZ7ZH"},
      {{"derive", "--counter", "2", "--known-rules", "https://www.dkb.de/banking", "\xC5\x82ukasz"},
       "\xC5\x81\xC3\xB3\x64\xC5\xBA-\xD0\xBF\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBB\xD1\x8C\n",
       "a4q5ndTTx-ICl7p&"},
      {{"derive", "--known-rules", "https://allianz.com.br"}, Horse, "EZI}"},
      {{"derive", "--rules", "minlength: 4; maxlength: 4;", "--", "https://allianz.com.br", ""},
       Horse,
       "EZI}"},
      // The plain password meets these rules, so it stays.
      {{"derive", "--rules", "minlength: 6; maxlength: 16;", "https://www.example.com", "alice"},
       Horse,
       "NJcthVVN=9NPjtym"},
      {{"derive", "--known-rules", "https://bitly.com", "alice"}, Horse, "+\"^VJo9WTHlKI)k2"},
      // No rules are known for the site: the plain rules.
      {{"derive", "--known-rules", "--counter", "2", "https://www.example.com", "alice"},
       Horse,
       "lNGdGyHDIW6n94tk"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.Args));
    const CliRun run = RunCli(row.Args, row.Input);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, row.Password + "\n");
    EXPECT_EQ(run.err, "");
  }
}

TEST(CliDerive, RefusesRulesAndCountersThatCannotBeUsed) {
  const struct {
    std::vector<std::string> Args;
    int ExitCode;
    std::string Err; // a part of it
  } rows[] = {
      {{"derive", "--rules", "minlen: 8;", "https://x"}, 1, "\"minlen\" is not a property"},
      {{"derive", "--rules", "minlength: 9; maxlength: 8;", "https://x"}, 1, "cannot be used"},
      {{"derive", "--rules", "required: [\xff];", "https://x"}, 2, "not valid UTF-8"},
      {{"derive", "--counter", "0", "https://x"}, 2, "Usage:"},
      {{"derive", "--counter", "-1", "https://x"}, 2, "Usage:"},
      {{"derive", "--counter", "2x", "https://x"}, 2, "Usage:"},
      {{"derive", "--counter", "2147483648", "https://x"}, 2, "Usage:"},
      {{"derive", "https://x", "--counter"}, 2, "Usage:"},
      {{"derive", "https://x", "--rules"}, 2, "Usage:"},
      {{"derive", "--counter", "2", "--counter", "3", "https://x"}, 2, "Usage:"},
      {{"derive", "--no-rules", "--known-rules", "https://x"}, 2, "Usage:"},
      {{"derive", "--rules", "minlength: 8;", "--no-rules", "https://x"}, 2, "Usage:"},
      {{"derive", "--unknown", "https://x"}, 2, "Usage:"},
      {{"derive", "--counter", "2"}, 2, "Usage:"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.Args));
    const CliRun run = RunCli(row.Args, Horse);
    EXPECT_EQ(run.exitCode, row.ExitCode);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find(row.Err), std::string::npos) << run.err;
  }
}

TEST(CliRules, PrintsTheKnownRuleAndItsDomain) {
  const struct {
    std::vector<std::string> Args;
    int ExitCode;
    std::string Out, Err;
  } rows[] = {
      {{"rules", "secure.chase.com"},
       0,
       "minlength: 8; maxlength: 32; max-consecutive: 2; required: lower, upper; required: "
       "digit; required: [!#$%+/=@~];\nchase.com\n",
       ""},
      {{"rules", "WWW.BestBuy.com"},
       0,
       "minlength: 20; required: lower; required: upper; required: digit; required: special;\n"
       "bestbuy.com\n",
       ""},
      {{"rules", "www.example.com"},
       1,
       "",
       "quillgate-cli: no password rules are known for \"www.example.com\".\n"},
      {{"rules"}, 2, "", "Usage:"},
      {{"rules", "a.example", "b.example"}, 2, "", "Usage:"},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.Args));
    const CliRun run = RunCli(row.Args, "");
    EXPECT_EQ(run.exitCode, row.ExitCode);
    EXPECT_EQ(run.out, row.Out);
    EXPECT_EQ(run.err.substr(0, row.Err.size()), row.Err);
  }
}

// The command line and a data folder of the window's: what the window gives for a listed site.
class CliDataFolder : public TempFolderTest {
protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    data = folder / "Korvane Quillgate";
    std::filesystem::create_directory(data);
    const std::string mark = "\xEF\xBB\xBF";
    WriteFile(data / "urls.db", mark + "1:https://www.example.com\r\n2:https://www.bestbuy.com\r\n"
                                       "3:https://reused.example\r\n4:https://broken.example\r\n");
    WriteFile(data / "logins.db", mark + "1:alice\r\n1:Bob\r\n3:alice\r\n");
    // A config.ini of the version before typed lines, which the window's opening would mark.
    WriteFile(data / "config.ini", "[Window]\r\nTop=100\r\nLeft=100\r\n");
    WriteFile(data / "records.db",
              mark + "1:{\"url\":\"https://www.example.com\",\"login\":\"alice\",\"version\":3}\r\n"
                     "1:{\"url\":\"https://www.example.com\",\"login\":\"Bob\",\"version\":2}\r\n"
                     "2:{\"url\":\"https://www.bestbuy.com\",\"rules\":\"minlength: 20; required: "
                     "lower; required: upper; required: digit; required: special;\",\"from\":"
                     "\"bestbuy.com\"}\r\n"
                     // Left by a deleted site whose index another site took.
                     "3:{\"url\":\"https://gone.example\",\"login\":\"alice\",\"version\":2}\r\n"
                     "4:{\"url\":\"https://broken.example\",\"rules\":\"minlength: eight;\"}\r\n");
    // A temporary that a cut-short save left: the window's opening removes it.
    WriteFile(data / ".urls.db.quillgate-tmp.0123abcd", "1:https://half.example\r\n");
  }
  CliRun Derive(std::vector<std::string> args) {
    args.insert(args.begin(), "derive");
    return RunCli(args, Horse, nullptr, folder.string());
  }
  std::map<std::string, std::string> DataBytes() const {
    std::map<std::string, std::string> bytes;
    for (const auto &entry : std::filesystem::directory_iterator(data))
      bytes[entry.path().filename().string()] =
          entry.is_directory() ? "(folder)" : ReadFile(entry.path());
    return bytes;
  }

  std::filesystem::path data;
};

TEST_F(CliDataFolder, GivesTheRecordedRuleAndVersionOfTheSiteAndLoginExactly) {
  const auto before = DataBytes();
  const std::string plainBob =
      ReferencePassword("correct horse battery staple", "https://www.example.combob");
  const struct {
    std::vector<std::string> Args;
    std::string Password; // empty: that of the same login at version 2 without rules
  } rows[] = {
      {{"https://www.example.com", "alice"}, "qZLlviwPRrsPCMm0"},
      {{"--no-rules", "https://www.example.com", "alice"}, "qZLlviwPRrsPCMm0"},
      {{"--counter", "1", "https://www.example.com", "alice"}, "NJcthVVN=9NPjtym"},
      {{"--counter", "2", "https://www.example.com", "alice"}, "lNGdGyHDIW6n94tk"},
      {{"https://www.bestbuy.com", "alice"}, "?g45*@z>PZe\\gBFLhp(M"},
      {{"--counter", "1", "https://www.bestbuy.com", "alice"}, "?g45*@z>PZe\\gBFLhp(M"},
      {{"--no-rules", "--counter", "1", "https://www.bestbuy.com", "alice"},
       ReferencePassword("correct horse battery staple", "https://www.bestbuy.comalice")},
      {{"https://www.example.com", "Bob"}, ""},
      {{"https://www.example.com", "bob"}, plainBob},
      {{"https://WWW.example.com", "alice"},
       ReferencePassword("correct horse battery staple", "https://WWW.example.comalice")},
      {{"https://reused.example", "alice"},
       ReferencePassword("correct horse battery staple", "https://reused.examplealice")},
  };
  const std::string bobAt2 =
      Derive({"--counter", "2", "--no-rules", "https://www.example.com", "Bob"}).out;
  EXPECT_EQ(bobAt2.size(), 17u);
  for (const auto &row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.Args));
    const CliRun run = Derive(row.Args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, row.Password.empty() ? bobAt2 : row.Password + "\n");
  }
  EXPECT_NE(bobAt2, plainBob + "\n");
  // Only read: not the window's mark of typed lines, nor the removal of a temporary.
  EXPECT_EQ(DataBytes(), before);
}

TEST_F(CliDataFolder, RefusesWhatItCannotReadOrUseUnlessTheOptionsSayAll) {
  std::filesystem::remove(data / "records.db");
  std::filesystem::create_directory(data / "records.db");
  const struct {
    std::vector<std::string> Args;
    int ExitCode;
    std::string Out, Err; // a part of Err
  } rows[] = {
      {{"https://www.example.com", "alice"}, 1, "", "records.db"},
      {{"--counter", "1", "https://www.example.com", "alice"}, 1, "", "--no-rules"},
      {{"--no-rules", "https://www.example.com", "alice"}, 1, "", "Is a directory"},
      {{"--no-rules", "--counter", "3", "https://www.example.com", "alice"},
       0,
       "qZLlviwPRrsPCMm0\n",
       ""},
      {{"--counter", "2", "--known-rules", "https://www.example.com", "alice"},
       0,
       "lNGdGyHDIW6n94tk\n",
       ""},
  };
  for (const auto &row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.Args));
    const CliRun run = Derive(row.Args);
    EXPECT_EQ(run.exitCode, row.ExitCode);
    EXPECT_EQ(run.out, row.Out);
    EXPECT_NE(run.err.find(row.Err), std::string::npos) << run.err;
  }
  // A recorded rule that cannot be used is refused with its reason, before any password.
  std::filesystem::remove(data / "records.db");
  WriteFile(data / "records.db",
            "4:{\"url\":\"https://broken.example\",\"rules\":\"minlength: eight;\"}\r\n");
  const CliRun broken = Derive({"https://broken.example"});
  EXPECT_EQ(broken.exitCode, 1);
  EXPECT_EQ(broken.out, "");
  EXPECT_NE(broken.err.find("\"minlength: eight;\" cannot be used"), std::string::npos)
      << broken.err;
  EXPECT_EQ(Derive({"--no-rules", "https://broken.example"}).exitCode, 0);
}

// A password that could not be written is not refused input: a script must tell the two apart.
TEST(CliOutput, AFailedWriteToStandardOutputHasItsOwnExitCode) {
  const std::vector<std::string> commands[] = {
      {"derive", "https://example.com"}, {"fingerprint"}, {"--version"}, {"--help"}};
  for (const auto &args : commands) {
    SCOPED_TRACE(args[0]);
    const CliRun run = RunCli(args, "master\n", "/dev/full");
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.err, "quillgate-cli: cannot write to standard output.\n");
  }
}

// Reads what the terminal shows, giving up after ten quiet seconds rather than hanging the run.
ssize_t ReadTerminal(int terminal, std::string &seen) {
  pollfd ready{terminal, POLLIN, 0};
  if (poll(&ready, 1, 10000) != 1)
    return -1;
  char buffer[256];
  const ssize_t n = read(terminal, buffer, sizeof buffer);
  if (n > 0)
    seen.append(buffer, size_t(n));
  return n;
}

TEST(CliDerive, ReadsFromATerminalWithoutEcho) {
  int terminal = -1;
  TEnvironment environment(EmptyDataHome());
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    char *argv[] = {const_cast<char *>(QUILLGATE_CLI), const_cast<char *>("derive"),
                    const_cast<char *>("https://example.com"), nullptr};
    execve(argv[0], argv, environment.Get());
    _exit(127);
  }
  std::string seen;
  while (seen.find("Master password: ") == std::string::npos)
    if (ReadTerminal(terminal, seen) <= 0) {
      kill(pid, SIGKILL);
      FAIL() << "no prompt: " << seen;
    }
  ASSERT_EQ(write(terminal, "s3cret\n", 7), 7);
  while (ReadTerminal(terminal, seen) > 0) // ends with EIO when the program exits
    ;
  kill(pid, SIGKILL); // in case it still waits
  int status = 0;
  waitpid(pid, &status, 0);
  close(terminal);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
  EXPECT_NE(seen.find(ReferencePassword("s3cret", "https://example.com")), std::string::npos)
      << seen;
  EXPECT_EQ(seen.find("s3cret"), std::string::npos) << "the password was echoed: " << seen;
}

} // namespace
