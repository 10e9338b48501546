// SPDX-License-Identifier: GPL-3.0-or-later
// The button row with a user's worth of sites and far more: filling it, painting it, changing it.
// Run offscreen; the figures are per operation.

#include "ui/Images.h"
#include "ui/ThumbButtonGroup.h"

#include <QApplication>
#include <QImage>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

std::unique_ptr<TKvThumbButtonGroup> MakeRow(int buttons) {
  auto group = std::make_unique<TKvThumbButtonGroup>();
  group->resize(353, 72);
  group->SetImages({HouseImage()});
  for (int i = 0; i < buttons; ++i)
    group->AddButton(QStringLiteral("   site%1.example.org").arg(i), 0, i);
  return group;
}

void FillRow(benchmark::State &state) {
  const int buttons = static_cast<int>(state.range(0));
  for (auto _ : state) {
    auto group = MakeRow(buttons);
    benchmark::DoNotOptimize(group->Count());
  }
  state.SetItemsProcessed(state.iterations() * buttons);
}
BENCHMARK(FillRow)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

void PaintRow(benchmark::State &state) {
  auto group = MakeRow(static_cast<int>(state.range(0)));
  group->SetTopRow(group->MaxTopRow() / 2);
  QImage target(group->size(), QImage::Format_ARGB32_Premultiplied);
  for (auto _ : state)
    group->render(&target);
}
BENCHMARK(PaintRow)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

void RemoveAndAddFirst(benchmark::State &state) {
  auto group = MakeRow(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    group->RemoveButton(0);
    group->InsertButton(0, QStringLiteral("   again.example.org"));
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
