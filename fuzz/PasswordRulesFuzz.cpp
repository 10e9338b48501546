// SPDX-License-Identifier: GPL-3.0-or-later
// Rule texts of any kind: reading one never crashes, and a text that reads gives a password that
// meets it, of the length it asks for, of printable ASCII only; or the one error of rules whose
// max-consecutive no draw could meet. The first byte chooses the version; the rest is UTF-16 code
// units, little-endian.

#include "FuzzSupport.h"
#include "common/KvError.h"
#include "crypto/PasswordRules.h"
#include "crypto/SitePassword.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
  if (size < 1)
    return 0;
  const int32_t version = 1 + data[0] % 4;
  std::u16string text;
  for (std::size_t i = 1; i + 1 < size; i += 2)
    text.push_back(char16_t(data[i] | data[i + 1] << 8));

  TKvPasswordRules rules;
  try {
    rules = ParsePasswordRules(text);
  } catch (const EKvError &) {
    return 0;
  }
  Check(rules.GeneratedLength() >= 1 && rules.GeneratedLength() <= 128);
  try {
    const std::u16string password =
        DeriveSitePassword(u"master", u"https://example.com", u"login", version, text);
    Check(MeetsPasswordRules(rules, password));
    const bool plain = password == DeriveSitePassword(u"master", u"https://example.com", u"login");
    Check(plain || int32_t(password.size()) == rules.GeneratedLength());
    for (char16_t c : password)
      Check(c >= u'!' && c <= u'~');
  } catch (const EKvError &) {
    Check(rules.MaxConsecutive.has_value());
  }
  return 0;
}
