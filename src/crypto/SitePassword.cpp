// SPDX-License-Identifier: GPL-3.0-or-later
#include "crypto/SitePassword.h"

#include "common/KvError.h"
#include "common/SecureZero.h"
#include "common/Unicode.h"
#include "crypto/HMAC.h"
#include "crypto/PasswordRules.h"

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace {

// What a version above 1 draws from when the site has no rules: the plain password's alphabet.
constexpr std::u16string_view PlainPasswordRules = u"allowed: upper, lower, digit, [=];";
constexpr int DrawsBeforeGivingUp = 100;

// HMAC keyed with the master password's UTF-8 once, for as many messages as a password needs.
class TMasterKeyed {
public:
  explicit TMasterKeyed(std::u16string_view masterPassword) {
    std::string key = Utf16ToUtf8(masterPassword);
    HMACInit(FContext, key);
    SecureZero(key.data(), key.size());
  }
  ~TMasterKeyed() { SecureZero(&FContext, sizeof FContext); }
  TMasterKeyed(const TMasterKeyed &) = delete;
  TMasterKeyed &operator=(const TMasterKeyed &) = delete;

  // HMAC-SHA-512 over the pieces one after another; the digest is the caller's to wipe.
  void Digest(std::initializer_list<std::string_view> pieces, TSHA512Digest &digest) const {
    THMACContext context = FContext;
    // In parts, so that a text beyond 4 GiB is not cut at a 32-bit length.
    constexpr std::size_t Part = std::size_t{1} << 30;
    for (std::string_view piece : pieces)
      for (std::size_t done = 0; done < piece.size(); done += Part)
        HMACUpdate(context, piece.data() + done, uint32_t(std::min(Part, piece.size() - done)));
    HMACFinal(context, digest);
    SecureZero(&context, sizeof context);
  }

private:
  THMACContext FContext;
};

std::u16string PlainPassword(const TMasterKeyed &keyed, std::u16string_view url,
                             std::u16string_view login) {
  std::u16string joined;
  joined.reserve(url.size() + login.size());
  joined.append(url).append(login);
  const std::string message = Utf16ToUtf8(joined);
  TSHA512Digest digest;
  keyed.Digest({message}, digest);
  ByteArray bytes;
  DigestToBytes(digest, bytes);
  std::u16string password = EncodePassword(bytes, SitePasswordLength);
  SecureZero(digest.data(), digest.size());
  SecureZero(bytes.data(), bytes.size());
  return password;
}

// The bytes HMAC-SHA-512(seed, i as 4 bytes big-endian) for i = 0, 1, ..., one after another, and
// whole numbers below n drawn from them without bias.
class TByteStream {
public:
  explicit TByteStream(const TSHA512Digest &seed) {
    HMACInit(FKeyed, std::string_view(reinterpret_cast<const char *>(seed.data()), seed.size()));
  }
  ~TByteStream() {
    SecureZero(&FKeyed, sizeof FKeyed);
    SecureZero(FBlock.data(), FBlock.size());
  }
  TByteStream(const TByteStream &) = delete;
  TByteStream &operator=(const TByteStream &) = delete;

  // A byte b is taken when b < 256 - (256 mod n), as b mod n; otherwise the next byte is tried.
  std::size_t Uniform(std::size_t n) {
    const std::size_t limit = 256 - 256 % n;
    for (;;)
      if (const uint8_t b = Next(); b < limit)
        return b % n;
  }

private:
  uint8_t Next() {
    if (FUsed == FBlock.size()) {
      const uint8_t counter[4] = {uint8_t(FCounter >> 24), uint8_t(FCounter >> 16),
                                  uint8_t(FCounter >> 8), uint8_t(FCounter)};
      THMACContext context = FKeyed;
      HMACUpdate(context, counter, sizeof counter);
      HMACFinal(context, FBlock);
      SecureZero(&context, sizeof context);
      ++FCounter;
      FUsed = 0;
    }
    return FBlock[FUsed++];
  }

  THMACContext FKeyed;
  TSHA512Digest FBlock{};
  std::size_t FUsed = FBlock.size();
  uint32_t FCounter = 0;
};

bool RunTooLong(const std::u16string &password, int32_t longest) {
  int32_t run = 0;
  for (std::size_t i = 0; i < password.size(); ++i) {
    run = i > 0 && password[i] == password[i - 1] ? run + 1 : 1;
    if (run > longest)
      return true;
  }
  return false;
}

// The characters a password of the rules is drawn from, worked out once for all its draws.
struct TDrawSets {
  std::u16string Alphabet;
  std::vector<std::u16string> Required;
  std::size_t Length;

  explicit TDrawSets(const TKvPasswordRules &rules)
      : Alphabet(rules.GeneratedAlphabet()), Length(std::size_t(rules.GeneratedLength())) {
    for (std::size_t i = 0; i < rules.Required.size(); ++i)
      Required.push_back(rules.GeneratedRequired(i));
  }
};

// One character of each required set in order, the rest from the alphabet, then shuffled.
void Draw(const TDrawSets &sets, TByteStream &stream, std::u16string &password) {
  password.clear();
  for (const std::u16string &set : sets.Required)
    password.push_back(set[stream.Uniform(set.size())]);
  while (password.size() < sets.Length)
    password.push_back(sets.Alphabet[stream.Uniform(sets.Alphabet.size())]);
  for (std::size_t i = sets.Length - 1; i >= 1; --i)
    std::swap(password[i], password[stream.Uniform(i + 1)]);
}

} // namespace

std::u16string DeriveSitePassword(std::u16string_view masterPassword, std::u16string_view url,
                                  std::u16string_view login) {
  return PlainPassword(TMasterKeyed(masterPassword), url, login);
}

std::u16string DeriveSitePassword(std::u16string_view masterPassword, std::u16string_view url,
                                  std::u16string_view login, int32_t version,
                                  std::u16string_view rules) {
  if (version < 1)
    throw EKvError(u"A password's version is 1 or more.");
  const TKvPasswordRules parsed =
      ParsePasswordRules(NoPasswordRules(rules) ? PlainPasswordRules : rules);
  const std::u16string_view given =
      NoPasswordRules(rules) ? std::u16string_view() : std::u16string_view(parsed.Text);
  const TMasterKeyed keyed(masterPassword);
  if (version == 1) {
    std::u16string plain = PlainPassword(keyed, url, login);
    if (given.empty() || MeetsPasswordRules(parsed, plain))
      return plain;
    SecureZero(plain.data(), plain.size() * sizeof(char16_t));
  }

  const std::string urlBytes = Utf16ToUtf8(url), loginBytes = Utf16ToUtf8(login),
                    rulesBytes = Utf16ToUtf8(given), versionText = std::to_string(version);
  constexpr std::string_view Separator("\0", 1);
  TSHA512Digest seed;
  keyed.Digest({"Quillgate rules 1", Separator, urlBytes, Separator, loginBytes, Separator,
                versionText, Separator, rulesBytes},
               seed);
  TByteStream stream(seed);
  SecureZero(seed.data(), seed.size());

  const TDrawSets sets(parsed);
  std::u16string password;
  password.reserve(sets.Length);
  for (int draw = 0; draw < DrawsBeforeGivingUp; ++draw) {
    Draw(sets, stream, password);
    if (!parsed.MaxConsecutive || !RunTooLong(password, *parsed.MaxConsecutive))
      return password;
  }
  SecureZero(password.data(), password.size() * sizeof(char16_t));
  throw EKvError(u"The site rules \"" + parsed.Text +
                 u"\" cannot be used: 100 passwords in a row held a character more often in a "
                 u"row than max-consecutive allows.");
}

std::u16string EncodePassword(const ByteArray &bytes, int32_t count) {
  std::u16string result;
  const std::size_t n = count > 0 ? std::min(std::size_t(count), bytes.size()) : 0;
  result.reserve(n);
  for (std::size_t i = 0; i < n; ++i)
    result.push_back(PasswordAlphabet[bytes[i] % PasswordAlphabet.size()]);
  return result;
}

std::optional<std::u16string> RefusedGenerateInput(std::u16string_view masterPassword,
                                                   std::u16string_view url) {
  if (masterPassword.empty())
    return u"Please enter a master password!";
  if (url.empty())
    return u"Please enter an URL!";
  if (url.find(u"://") == std::u16string_view::npos)
    return std::u16string(InvalidURLRefusal);
  return std::nullopt;
}
