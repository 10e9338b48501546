// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/KnownRules.h"

#include "sites/URLParser.h"

#include <algorithm>

const std::u16string_view KnownRulesSource = u"the shared password-rules list";

namespace {

std::u16string LowerCase(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t &c : lower)
    if (c >= u'A' && c <= u'Z')
      c = char16_t(c - u'A' + u'a');
  return lower;
}

std::optional<TKvKnownRule> RuleOfDomain(std::u16string_view domain) {
  const std::span<const TKvKnownRule> rules = KnownRules();
  const auto found = std::lower_bound(
      rules.begin(), rules.end(), domain,
      [](const TKvKnownRule &rule, std::u16string_view key) { return rule.Domain < key; });
  if (found == rules.end() || found->Domain != domain)
    return std::nullopt;
  return *found;
}

} // namespace

std::optional<TKvKnownRule> KnownRuleForHost(std::u16string_view host) {
  const std::u16string lower = LowerCase(host);
  // The host itself, then each parent domain, longest first.
  for (std::u16string_view domain = lower; !domain.empty();) {
    if (std::optional<TKvKnownRule> rule = RuleOfDomain(domain))
      return rule;
    const std::size_t dot = domain.find(u'.');
    if (dot == std::u16string_view::npos)
      break;
    domain.remove_prefix(dot + 1);
  }
  return std::nullopt;
}

std::optional<TKvKnownRule> KnownRuleForURL(const std::u16string &url) {
  const std::optional<std::u16string> host = SiteHost(url);
  return host ? KnownRuleForHost(*host) : std::nullopt;
}
