// SPDX-License-Identifier: GPL-3.0-or-later
// The button row with a user's worth of sites and far more: filling it, painting it, changing it.
// Run offscreen; the figures are per operation.

#include "ui/Images.h"
#include "ui/ThumbButtonGroup.h"

#include <QApplication>
#include <QImage>
#include <benchmark/benchmark.h>
#include <memory>
#include <string>
#include <vector>

namespace {

// A row on sites of its own, each told to it as it comes.
struct TRow {
  explicit TRow(int buttons) {
    group.resize(353, 72);
    group.SetImages({HouseImage()});
    group.SetSites(&sites);
    for (int i = 0; i < buttons; ++i)
      Add(i, i);
  }
  ~TRow() { group.SetSites(nullptr); }
  void Add(int position, int number) {
    const std::u16string host = QStringLiteral("site%1.example.org").arg(number).toStdU16String();
    sites.insert(sites.begin() + position, {++lastId, number, u"https://" + host, host});
    group.SiteAdded(position);
  }
  void Remove(int position) {
    group.SiteRemoving(position);
    sites.erase(sites.begin() + position);
    group.SiteRemoved(position);
  }

  std::vector<TKvSite> sites;
  TKvSiteId lastId = 0;
  TKvThumbButtonGroup group;
};

std::unique_ptr<TRow> MakeRow(int buttons) {
  return std::make_unique<TRow>(buttons);
}

void FillRow(benchmark::State &state) {
  const int buttons = static_cast<int>(state.range(0));
  for (auto _ : state) {
    auto row = MakeRow(buttons);
    benchmark::DoNotOptimize(row->group.Count());
  }
  state.SetItemsProcessed(state.iterations() * buttons);
}
BENCHMARK(FillRow)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

void PaintRow(benchmark::State &state) {
  auto row = MakeRow(static_cast<int>(state.range(0)));
  row->group.SetTopRow(row->group.MaxTopRow() / 2);
  QImage target(row->group.size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state)
    row->group.render(&target);
}
BENCHMARK(PaintRow)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

void RemoveAndAddFirst(benchmark::State &state) {
  auto row = MakeRow(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    row->Remove(0);
    row->Add(0, 0);
  }
}
BENCHMARK(RemoveAndAddFirst)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
