// SPDX-License-Identifier: GPL-3.0-or-later
// ParseURL and TextToInteger on any text: they must never crash, and what they give must hold
// together; a site's stored URL must split again to its host. The first byte chooses
// BareTextIsPath; the rest is UTF-16 code units, little-endian, so that every code unit, unpaired
// surrogates included, can reach the splitter.

#include "FuzzSupport.h"
#include "common/KvError.h"
#include "sites/SiteStore.h"
#include "sites/URLParser.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace {

bool IsConversionError(const EKvError &e) {
  return e.Message().ends_with(u"'' is not a valid integer value") &&
         e.Message().starts_with(u"''");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  const bool bareTextIsPath = data[0] & 1;
  std::u16string text;
  for (size_t i = 1; i + 1 < size; i += 2)
    text.push_back(char16_t(data[i] | data[i + 1] << 8));

  std::u16string scheme, user, password, host, path, fragment, query;
  uint16_t port = 0;
  try {
    ParseURL(text, bareTextIsPath, scheme, user, password, host, port, path, fragment, query,
             u"dflt");
    Check(!path.empty());
    Check(query.empty() || query.front() == u'?');
    Check(fragment.empty() || fragment.front() == u'#');
    Check(text.find(u"://") != std::u16string::npos || scheme == u"dflt" || scheme.empty());
    // Nothing is made up: every part is a piece of the text.
    for (const auto *part : {&scheme, &user, &password, &host, &fragment, &query})
      Check((part == &scheme && *part == u"dflt") || text.find(*part) != std::u16string::npos);
  } catch (const EKvError &e) {
    Check(IsConversionError(e));
  }

  // Every URL the program stores for a site splits again to the same host: the URL as typed,
  // and the scheme-and-host form that older lines are brought to.
  if (const std::optional<std::u16string> typed = SiteHost(text))
    Check(SiteHost(SchemeAndHostURL(text)) == typed);

  try {
    const int32_t value = TextToInteger(text);
    // The decimal form of the result reads back as the same number.
    const std::string digits = std::to_string(value);
    Check(TextToInteger(std::u16string(digits.begin(), digits.end())) == value);
  } catch (const EKvError &e) {
    Check(e.Message() == u"''" + text + u"'' is not a valid integer value");
  }
  return 0;
}
