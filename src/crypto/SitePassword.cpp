// SPDX-License-Identifier: GPL-3.0-or-later
#include "crypto/SitePassword.h"

#include "common/SecureZero.h"
#include "common/Unicode.h"
#include "crypto/HMAC.h"

#include <algorithm>

std::u16string DeriveSitePassword(std::u16string_view masterPassword, std::u16string_view url,
                                  std::u16string_view login) {
  std::u16string joined;
  joined.reserve(url.size() + login.size());
  joined.append(url).append(login);
  std::string message = Utf16ToUtf8(joined);
  std::string key = Utf16ToUtf8(masterPassword);

  THMACContext context;
  HMACInit(context, key);
  // In pieces, so that a message beyond 4 GiB is not cut at a 32-bit length.
  constexpr std::size_t Piece = std::size_t{1} << 30;
  for (std::size_t done = 0; done < message.size(); done += Piece)
    HMACUpdate(context, message.data() + done, uint32_t(std::min(Piece, message.size() - done)));
  TSHA512Digest digest;
  HMACFinal(context, digest);
  ByteArray bytes;
  DigestToBytes(digest, bytes);
  std::u16string password = EncodePassword(bytes, SitePasswordLength);

  SecureZero(key.data(), key.size());
  SecureZero(&context, sizeof context);
  SecureZero(digest.data(), digest.size());
  SecureZero(bytes.data(), bytes.size());
  return password;
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
    return u"Please enter a valid URL!";
  return std::nullopt;
}
