// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/URLParser.h"

#include "common/Integer.h"
#include "common/KvError.h"

#include <optional>

namespace {

// Positions count from 1; 0 means the text is not there.
std::size_t Pos(const std::u16string &text, std::u16string_view what) {
  const auto found = text.find(what);
  return found == std::u16string::npos ? 0 : found + 1;
}

// The characters from position from (1-based) to position to (included).
std::u16string Copy(const std::u16string &text, std::size_t from, std::size_t to) {
  if (from > to || from == 0)
    return {};
  return text.substr(from - 1, to - from + 1);
}

std::u16string CopyToEnd(const std::u16string &text, std::size_t from) {
  return from == 0 || from > text.size() ? std::u16string() : text.substr(from - 1);
}

[[noreturn]] void NotAnInteger(const std::u16string &text) {
  throw EKvError(u"''" + text + u"'' is not a valid integer value");
}

} // namespace

int32_t TextToInteger(const std::u16string &text) {
  const std::optional<int32_t> value = ParseInteger(text);
  if (!value)
    NotAnInteger(text);
  return *value;
}

void ParseURL(const std::u16string &URL, bool BareTextIsPath, std::u16string &Scheme,
              std::u16string &User, std::u16string &Password, std::u16string &Host, uint16_t &Port,
              std::u16string &Path, std::u16string &Fragment, std::u16string &Query,
              const std::u16string &DefaultScheme) {
  Scheme = DefaultScheme;
  User.clear();
  Password.clear();
  Host.clear();
  Query.clear();
  Fragment.clear();
  Port = 0;
  Path.assign(1, u'/'); // not = u"/": GCC 12 warns wrongly (-Wrestrict) at -O2

  std::u16string t = URL;
  if (t.empty())
    return;
  std::size_t first = 0, last = t.size();
  while (first < last && t[first] <= u' ')
    ++first;
  while (last > first && t[last - 1] <= u' ')
    --last;
  if (first == last)
    return;
  t = t.substr(first, last - first);

  if (t.starts_with(u"./"))
    t.erase(0, 1);

  const std::size_t p = Pos(t, u"://");
  Scheme = p > 0 ? t.substr(0, p - 1) : DefaultScheme;
  if (t.starts_with(u"//")) {
    t.erase(0, 2);
    Scheme.clear();
  }
  if (p > 0)
    t = CopyToEnd(t, p + 3);

  std::u16string userInfo;
  {
    const std::size_t a = Pos(t, u"@");
    const std::size_t s = Pos(t, u"/");
    if (a > 0 && s > a) {
      userInfo = Copy(t, 1, a - 1);
      t = CopyToEnd(t, a + 1);
    }
  }

  bool hostFixed = false;
  if (t.starts_with(u"[")) {
    const std::size_t close = Pos(t, u"]");
    if (close > 0) {
      Host = Copy(t, 2, close - 1);
      t = CopyToEnd(t, close + 1);
      hostFixed = true;
    }
  }

  {
    std::size_t q = Pos(t, u"?");
    const std::size_t f = Pos(t, u"#");
    if (q > 0 && f > 0 && q > f)
      q = 0;
    if (q > 0) {
      const std::size_t end = f > 0 ? f - 1 : t.size();
      Query = Copy(t, q, end);
      t.erase(q - 1, end - q + 1);
    }
    const std::size_t hash = Pos(t, u"#");
    if (hash > 0) {
      Fragment = CopyToEnd(t, hash);
      t.erase(hash - 1);
    }
  }

  const std::size_t s = Pos(t, u"/");
  const std::size_t k = Pos(t, u":");
  const auto setHost = [&](std::u16string host) {
    if (!hostFixed)
      Host = std::move(host);
  };
  if (s == 0 && k == 0 && p == 0) {
    setHost(BareTextIsPath ? std::u16string() : t);
    Path = BareTextIsPath ? t : u"/";
  } else if (s == 0 && k > 0) {
    setHost(Copy(t, 1, k - 1));
    Port = uint16_t(uint32_t(TextToInteger(CopyToEnd(t, k + 1))));
  } else if (k > 0 && s > k) {
    setHost(Copy(t, 1, k - 1));
    Port = uint16_t(uint32_t(TextToInteger(Copy(t, k + 1, s - 1))));
    Path = CopyToEnd(t, s);
  } else if (s == 0 && k == 0) {
    setHost(t);
    Path.clear();
  } else {
    setHost(Copy(t, 1, s - 1));
    Path = CopyToEnd(t, s);
  }

  if (Path.empty())
    Path.assign(1, u'/');

  if (!userInfo.empty()) {
    const std::size_t colon = Pos(userInfo, u":");
    if (colon > 0) {
      User = Copy(userInfo, 1, colon - 1);
      Password = CopyToEnd(userInfo, colon + 1);
    } else {
      User = userInfo;
    }
  }
}

std::optional<std::u16string> SiteHost(const std::u16string &url) {
  std::u16string scheme, user, password, host, path, fragment, query;
  uint16_t port = 0;
  try {
    ParseURL(url, true, scheme, user, password, host, port, path, fragment, query, u"http");
  } catch (const EKvError &) {
    return std::nullopt;
  }
  return host;
}
