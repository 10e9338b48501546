// SPDX-License-Identifier: GPL-3.0-or-later
// SHA-512 throughput beside OpenSSL's on the same buffers, and the latency of one site password.
// After the runs, prints our throughput as a ratio of OpenSSL's for each size.

#include "crypto/SHA2.h"
#include "crypto/SitePassword.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <openssl/evp.h>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Buffer(size_t size) {
  std::vector<uint8_t> data(size);
  for (size_t i = 0; i < size; ++i)
    data[i] = uint8_t(i * 31 + 7);
  return data;
}

void SHA512_Ours(benchmark::State &state) {
  const auto data = Buffer(size_t(state.range(0)));
  TSHA512Digest digest;
  for (auto _ : state) {
    SHA512Buffer(data.data(), uint32_t(data.size()), digest);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void SHA512_OpenSSL(benchmark::State &state) {
  const auto data = Buffer(size_t(state.range(0)));
  unsigned char digest[64];
  EVP_MD_CTX *context = EVP_MD_CTX_new();
  const EVP_MD *sha512 = EVP_sha512();
  for (auto _ : state) {
    EVP_DigestInit_ex(context, sha512, nullptr);
    EVP_DigestUpdate(context, data.data(), data.size());
    EVP_DigestFinal_ex(context, digest, nullptr);
    benchmark::DoNotOptimize(digest);
  }
  EVP_MD_CTX_free(context);
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void DeriveSitePassword_Typical(benchmark::State &state) {
  const std::u16string master = u"correct horse battery staple";
  const std::u16string url = u"https://accounts.example.com";
  const std::u16string login = u"alice@example.org";
  for (auto _ : state)
    benchmark::DoNotOptimize(DeriveSitePassword(master, url, login));
}

BENCHMARK(SHA512_Ours)->Arg(64)->Arg(1024)->Arg(8192)->Arg(1 << 20);
BENCHMARK(SHA512_OpenSSL)->Arg(64)->Arg(1024)->Arg(8192)->Arg(1 << 20);
BENCHMARK(DeriveSitePassword_Typical);

// Shows the usual table and keeps each run's throughput for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  std::map<std::string, std::map<int64_t, double>> bytesPerSecond; // name -> size -> B/s

  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto &run : runs) {
      const std::string name = run.benchmark_name();
      const auto slash = name.find('/');
      const auto rate = run.counters.find("bytes_per_second");
      if (slash != std::string::npos && rate != run.counters.end())
        bytesPerSecond[name.substr(0, slash)][std::stoll(name.substr(slash + 1))] = rate->second;
    }
  }
};

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto &ours = reporter.bytesPerSecond["SHA512_Ours"];
  const auto &openssl = reporter.bytesPerSecond["SHA512_OpenSSL"];
  std::printf("\nSHA-512 throughput, ours / OpenSSL:\n");
  for (const auto &[size, rate] : ours)
    if (openssl.count(size))
      std::printf("  %8lld B: %7.1f MB/s / %7.1f MB/s = %.2fx\n", static_cast<long long>(size),
                  rate / 1e6, openssl.at(size) / 1e6, rate / openssl.at(size));
  benchmark::Shutdown();
  return 0;
}
