// SPDX-License-Identifier: GPL-3.0-or-later
// Loading, reading the indexes of and saving a site list of 10,000 lines and a login list of
// 50,000 lines, in a temporary folder; each is meant to stay well under 20 ms. Also the look-up of
// a login line with IndexOf, and the password derived with each known site rule (meant to stay
// under 5 us each), beside the plain one.

#include "common/Unicode.h"
#include "crypto/SitePassword.h"
#include "sites/KnownRules.h"
#include "sites/SiteDatabase.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// A folder of its own with one site file and one login file, removed at exit.
struct TFiles {
  std::filesystem::path Folder;
  std::u16string Sites, Logins;

  TFiles() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kvbench.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
      std::abort();
    Folder = pattern;
    Sites = Utf8ToUtf16((Folder / "urls.db").string());
    Logins = Utf8ToUtf16((Folder / "logins.db").string());

    TKvURLs urls;
    for (int i = 0; i < 10000; ++i)
      urls.AddURL(i + 1, u"https://site" + Utf8ToUtf16(std::to_string(i)) + u".example.com");
    urls.SaveToFile(Sites);
    TKvLogins logins;
    for (int i = 0; i < 50000; ++i)
      logins.AddLogin(i % 10000 + 1,
                      u"user.name" + Utf8ToUtf16(std::to_string(i)) + u"@mail.example");
    logins.SaveToFile(Logins);
  }
  ~TFiles() { std::filesystem::remove_all(Folder); }
};

const TFiles &Files() {
  static const TFiles files;
  return files;
}

template <typename List> void Load(benchmark::State &state, const std::u16string &path) {
  for (auto _ : state) {
    List list;
    list.LoadFromFile(path);
    benchmark::DoNotOptimize(list.Count());
  }
}

void GetIndexes(benchmark::State &state, const std::u16string &path) {
  TKvURLs list;
  list.LoadFromFile(path);
  for (auto _ : state)
    benchmark::DoNotOptimize(list.GetIndexes());
}

template <typename List> void Save(benchmark::State &state, const std::u16string &path) {
  List list;
  list.LoadFromFile(path);
  const std::u16string target = path + u".saved";
  for (auto _ : state)
    list.SaveToFile(target);
}

void BM_LoadSites10k(benchmark::State &state) {
  Load<TKvURLs>(state, Files().Sites);
}
void BM_GetIndexesSites10k(benchmark::State &state) {
  GetIndexes(state, Files().Sites);
}
void BM_SaveSites10k(benchmark::State &state) {
  Save<TKvURLs>(state, Files().Sites);
}
void BM_LoadLogins50k(benchmark::State &state) {
  Load<TKvLogins>(state, Files().Logins);
}
void BM_GetIndexesLogins50k(benchmark::State &state) {
  GetIndexes(state, Files().Logins);
}
void BM_SaveLogins50k(benchmark::State &state) {
  Save<TKvLogins>(state, Files().Logins);
}

// "Generate" looks the login line up among all logins; the worst case finds nothing.
void BM_IndexOfLogins50k(benchmark::State &state) {
  TKvLogins list;
  list.LoadFromFile(Files().Logins);
  for (auto _ : state)
    benchmark::DoNotOptimize(list.IndexOf(u"9999:User.Name-Not-There@Mail.Example"));
}

const std::u16string Master = u"correct horse battery staple";
const std::u16string Login = u"alice@example.org";

void BM_DerivePlain(benchmark::State &state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(DeriveSitePassword(Master, u"https://accounts.example.com", Login));
}

// Every rule of the known list in turn. Version 1 derives the plain password first and keeps it
// when it meets the rule; version 2 always draws. The time per rule is the mean; the slowest rule,
// timed apart as the best of 200 runs, is a counter.
void BM_DeriveEveryKnownRule(benchmark::State &state) {
  const int32_t version = int32_t(state.range(0));
  const auto rules = KnownRules();
  std::vector<std::u16string> urls;
  for (const TKvKnownRule &rule : rules)
    urls.push_back(std::u16string(u"https://").append(rule.Domain));
  for (auto _ : state)
    for (std::size_t i = 0; i < rules.size(); ++i)
      benchmark::DoNotOptimize(DeriveSitePassword(Master, urls[i], Login, version, rules[i].Rules));
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(rules.size()));
  double slowest = 0;
  std::u16string_view slowestDomain;
  for (std::size_t i = 0; i < rules.size(); ++i) {
    double best = 1e9;
    for (int run = 0; run < 200; ++run) {
      const auto start = std::chrono::steady_clock::now();
      benchmark::DoNotOptimize(DeriveSitePassword(Master, urls[i], Login, version, rules[i].Rules));
      best = std::min(
          best, std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                    .count());
    }
    if (best > slowest) {
      slowest = best;
      slowestDomain = rules[i].Domain;
    }
  }
  state.counters["slowest_rule_us"] = slowest;
  state.SetLabel("slowest: " + Utf16ToUtf8(slowestDomain));
}

BENCHMARK(BM_DerivePlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeriveEveryKnownRule)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadSites10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetIndexesSites10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveSites10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadLogins50k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetIndexesLogins50k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveLogins50k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IndexOfLogins50k)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
