// SPDX-License-Identifier: GPL-3.0-or-later
// The master password's fingerprint: the time of one (the Argon2id and the strength estimate; the
// target is under 20 ms, so that the symbols appear within 0.2 s of the last keystroke), and the
// memory it takes while it runs and gives back afterwards, on a worker thread as in the window.

#include "crypto/Fingerprint.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace {

const std::u16string Master = u"correct horse battery staple";

void Fingerprint_Argon2id(benchmark::State &state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(FingerprintHash(Master));
}

void Fingerprint_Strength(benchmark::State &state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(GuessesExponent(Master));
}

void Fingerprint_Whole(benchmark::State &state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(FingerprintSymbols(FingerprintHash(Master)));
    benchmark::DoNotOptimize(GuessesExponent(Master));
  }
}

BENCHMARK(Fingerprint_Argon2id)->Unit(benchmark::kMillisecond);
BENCHMARK(Fingerprint_Strength)->Unit(benchmark::kMicrosecond);
BENCHMARK(Fingerprint_Whole)->Unit(benchmark::kMillisecond)->UseRealTime();

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
long StatusKb(const std::string &field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field + ":", 0) == 0)
      return std::stol(line.substr(field.size() + 1));
  return -1;
}

// The peak resident set starts again from the current one.
bool ResetPeak() {
  std::ofstream clearRefs("/proc/self/clear_refs");
  clearRefs << "5";
  clearRefs.flush();
  return bool(clearRefs);
}

// Five fingerprints, each on a thread of its own as the window computes them; the resident set
// before, at its peak during each, and after the last.
int Memory() {
  const long before = StatusKb("VmRSS");
  long peak = 0;
  for (int i = 0; i < 5; ++i) {
    if (!ResetPeak())
      return std::fprintf(stderr, "fingerprint memory: cannot reset the peak\n"), 1;
    std::thread worker([] { benchmark::DoNotOptimize(FingerprintHash(Master)); });
    worker.join();
    peak = std::max(peak, StatusKb("VmHWM") - StatusKb("VmRSS"));
  }
  const long after = StatusKb("VmRSS");
  std::printf("fingerprint memory, 5 computations on worker threads: resident %.1f MB before, "
              "%.1f MB more at the peak of each, %+.1f MB after the last (%s)\n",
              double(before) / 1024, double(peak) / 1024, double(after - before) / 1024,
              after - before < 1024 ? "freed" : "KEPT");
  return after - before < 1024 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  const int memory = Memory(); // before the timings, which leave their own allocations behind
  benchmark::RunSpecifiedBenchmarks();
  const auto start = std::chrono::steady_clock::now();
  constexpr int Runs = 20;
  for (int i = 0; i < Runs; ++i) {
    benchmark::DoNotOptimize(FingerprintHash(Master));
    benchmark::DoNotOptimize(GuessesExponent(Master));
  }
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() /
      Runs;
  std::printf("fingerprint and strength: %.1f ms each, mean of %d (target < 20 ms) %s\n", ms, Runs,
              ms < 20 ? "ok" : "OVER");
  benchmark::Shutdown();
  return memory;
}
