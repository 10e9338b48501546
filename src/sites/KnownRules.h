// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The password rules that sites are known to ask for, from the open password-rules list that
// browsers and password managers share (data/password-rules.json, compiled in as a table).

#include <optional>
#include <span>
#include <string>
#include <string_view>

struct TKvKnownRule {
  std::u16string_view Domain; // the list's key: a host, or a domain that covers its hosts
  std::u16string_view Rules;  // in the password-rules language
};

// Where the list comes from, for the user: "the shared password-rules list" (its source and commit
// are in data/README.md).
extern const std::u16string_view KnownRulesSource;

// Every rule of the list, by domain in ascending order.
std::span<const TKvKnownRule> KnownRules();

// The rule of the longest domain that is host itself or a parent domain of it
// ("secure.chase.com" takes "chase.com"), letter case ignored; none when no domain covers host.
std::optional<TKvKnownRule> KnownRuleForHost(std::u16string_view host);

// The same for the host of a URL; none when the URL does not split.
std::optional<TKvKnownRule> KnownRuleForURL(const std::u16string &url);
