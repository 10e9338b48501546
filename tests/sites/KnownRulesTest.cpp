// SPDX-License-Identifier: GPL-3.0-or-later
// The known rules of sites: which rule a host takes, and that the password derived for every rule
// of the list meets it, as a second reading of the rules (not the generator's parser) sees them.

#include "sites/KnownRules.h"

#include "common/Unicode.h"
#include "crypto/SitePassword.h"

#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <string>

namespace {

std::u16string RuleFor(std::u16string_view host) {
  const std::optional<TKvKnownRule> rule = KnownRuleForHost(host);
  return rule ? std::u16string(rule->Domain) : u"(none)";
}

TEST(KnownRuleForHost, TakesTheLongestDomainThatCoversTheHost) {
  const struct {
    std::u16string host, domain;
  } cases[] = {
      {u"chase.com", u"chase.com"},
      {u"secure.chase.com", u"chase.com"},
      {u"a.b.secure.chase.com", u"chase.com"},
      {u"Secure.CHASE.com", u"chase.com"},
      {u"notchase.com", u"(none)"},
      {u"chase.com.evil.example", u"(none)"},
      {u"com", u"(none)"},
      {u"", u"(none)"},
      // Both a domain and one of its hosts are listed: the host's own rule wins.
      {u"account.samsung.com", u"account.samsung.com"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.host));
    EXPECT_EQ(RuleFor(c.host), c.domain);
  }
  EXPECT_EQ(KnownRuleForURL(u"https://secure.chase.com/login?x=1")->Domain, u"chase.com");
  EXPECT_FALSE(KnownRuleForURL(u"no url at all"));
}

TEST(KnownRules, HoldTheWholeListInDomainOrder) {
  const auto rules = KnownRules();
  ASSERT_EQ(rules.size(), 434u);
  for (std::size_t i = 1; i < rules.size(); ++i)
    EXPECT_LT(rules[i - 1].Domain, rules[i].Domain);
  EXPECT_EQ(RuleFor(u"163.com"), u"163.com");
  EXPECT_EQ(KnownRuleForHost(u"www.dkb.de")->Rules,
            u"minlength: 8; maxlength: 38; required: lower, upper; required: digit; allowed: "
            u"[-äüöÄÜÖß!$%&/()=?+#,.:];");
}

// A reading of rule texts of its own, by regular expressions over ASCII, for checking passwords.
struct TCheckedRules {
  std::size_t Min = 0, Max = 1000, Run = 1000;
  std::vector<std::set<char>> Required;
  std::set<char> Allowed;
};

std::set<char> ClassCharacters(const std::string &value) {
  std::set<char> characters;
  static const std::regex item(R"(\s*(?:\[((?:[^\]]|\](?=\]\s*(?:,|;|$)))*)\]|([a-z-]+))\s*(,|$))");
  for (auto it = std::sregex_iterator(value.begin(), value.end(), item);
       it != std::sregex_iterator(); ++it) {
    const std::string set = (*it)[1], name = (*it)[2];
    for (char c : set)
      if (c > ' ' && c < 127)
        characters.insert(c);
    for (int c = '!'; c <= '~'; ++c)
      if ((name == "upper" && std::isupper(c)) || (name == "lower" && std::islower(c)) ||
          (name == "digit" && std::isdigit(c)) || (name == "special" && std::ispunct(c)) ||
          name == "ascii-printable" || name == "unicode")
        characters.insert(char(c));
  }
  return characters;
}

TCheckedRules CheckedRules(const std::string &text) {
  TCheckedRules rules;
  static const std::regex property(
      R"(\s*([a-z-]+)\s*:\s*((?:\[(?:[^\]]|\]\])*\]|[^;\[])*)\s*(?:;|$))");
  bool setsGiven = false;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), property);
       it != std::sregex_iterator(); ++it) {
    const std::string name = (*it)[1], value = (*it)[2];
    if (name == "minlength")
      rules.Min = std::max(rules.Min, std::size_t(std::stoul(value)));
    else if (name == "maxlength")
      rules.Max = std::min(rules.Max, std::size_t(std::stoul(value)));
    else if (name == "max-consecutive")
      rules.Run = std::min(rules.Run, std::size_t(std::stoul(value)));
    else {
      const std::set<char> characters = ClassCharacters(value);
      if (name == "required")
        rules.Required.push_back(characters);
      rules.Allowed.insert(characters.begin(), characters.end());
      setsGiven = true;
    }
  }
  if (!setsGiven)
    for (int c = '!'; c <= '~'; ++c)
      rules.Allowed.insert(char(c));
  return rules;
}

std::string Breaks(const TCheckedRules &rules, const std::string &password) {
  if (password.size() < rules.Min || password.size() > rules.Max)
    return "length";
  for (char c : password)
    if (!rules.Allowed.count(c))
      return std::string("character ") + c;
  for (const auto &set : rules.Required)
    if (std::none_of(password.begin(), password.end(), [&](char c) { return set.count(c); }))
      return "a required set";
  for (std::size_t i = 0, run = 0; i < password.size(); ++i) {
    run = i > 0 && password[i] == password[i - 1] ? run + 1 : 1;
    if (run > rules.Run)
      return "a run";
  }
  return "";
}

TEST(KnownRules, EveryRuleGivesPasswordsThatMeetIt) {
  const std::u16string logins[] = {u"", u"alice", u"Bob.Smith@example.org", u"łukasz"};
  for (const TKvKnownRule &rule : KnownRules()) {
    const std::string text = Utf16ToUtf8(rule.Rules);
    const TCheckedRules checked = CheckedRules(text);
    for (const std::u16string &login : logins)
      for (int32_t version : {1, 2}) {
        const std::string password = Utf16ToUtf8(DeriveSitePassword(
            u"correct horse battery staple", u"https://" + std::u16string(rule.Domain), login,
            version, rule.Rules));
        EXPECT_EQ(Breaks(checked, password), "")
            << Utf16ToUtf8(rule.Domain) << " " << text << " " << password;
      }
  }
}

} // namespace
