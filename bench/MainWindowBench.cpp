// SPDX-License-Identifier: GPL-3.0-or-later
// The main window for a user with 10,000 sites and 50,000 logins, offscreen, with real files in a
// temporary folder: opening (through its first paint) and closing, each under 100 ms; "Generate"
// for a new URL (the site joins the list and gets a button) and a remembered one, each under 5 ms.

#include "platform/DataProtection.h"
#include "platform/Environment.h"
#include "platform/posix/Environment.h"
#include "ui/MainFrm.h"
#include "ui/SecretClipboard.h"
#include "ui/ThumbButtonGroup.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <fstream>
#include <memory>
#include <string>

namespace {

// No saved password is read or written here.
class NoProtection : public IKvDataProtection {
public:
  std::optional<ByteArray> Protect(const ByteArray &, bool, uint32_t &error) override {
    error = KvErrorInvalidData;
    return std::nullopt;
  }
  std::optional<ByteArray> Unprotect(const ByteArray &, uint32_t &error) override {
    error = KvErrorInvalidData;
    return std::nullopt;
  }
};

struct Profile {
  explicit Profile(int sites, int loginsPerSite) {
    const std::string root = folder.path().toStdString();
    env = std::make_unique<TKvFixedEnvironment>(std::map<std::string, std::string>{
        {"HOME", root}, {"XDG_DATA_HOME", root + "/data"}, {"XDG_CONFIG_HOME", root + "/config"}});
    const std::string data = root + "/data/Korvane Quillgate";
    CreateFolderPath(data, 0700);
    std::ofstream urls(data + "/urls.db", std::ios::binary);
    std::ofstream logins(data + "/logins.db", std::ios::binary);
    for (int site = 1; site <= sites; ++site) {
      // Stored out of index order, as reordering leaves them.
      const int index = sites + 1 - site;
      urls << index << ":https://www.site" << index << ".example.org/login?next=/home\r\n";
      for (int login = 0; login < loginsPerSite; ++login)
        logins << index << ":user" << login << "@mail.example.com\r\n";
    }
  }
  std::unique_ptr<TfmMain> Open() {
    auto window = std::make_unique<TfmMain>(*env, protection, clipboard, u"/usr/bin/quillgate",
                                            [](const std::u16string &) {});
    window->SetWarningBox([this](const std::u16string &, const std::u16string &) { ++warnings; });
    window->show();
    window->repaint();
    return window;
  }

  QTemporaryDir folder;
  std::unique_ptr<TKvFixedEnvironment> env;
  NoProtection protection;
  TKvClipboardGuard clipboard{*QGuiApplication::clipboard(), std::chrono::seconds(30)};
  int warnings = 0; // a warning means Generate stopped short
};

void OpenWindow(benchmark::State &state) {
  Profile profile(static_cast<int>(state.range(0)), 5);
  for (auto _ : state) {
    auto window = profile.Open();
    benchmark::DoNotOptimize(window.get());
    state.PauseTiming();
    window.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(OpenWindow)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

void CloseWindow(benchmark::State &state) {
  Profile profile(static_cast<int>(state.range(0)), 5);
  for (auto _ : state) {
    state.PauseTiming();
    auto window = profile.Open();
    window->hide();
    state.ResumeTiming();
    window.reset();
  }
}
BENCHMARK(CloseWindow)->Arg(100)->Arg(10000)->Unit(benchmark::kMillisecond);

constexpr int Sites = 10000;

// Each click adds a site, so the run is kept short: the list stays at about 10,000 sites.
void GenerateNewURL(benchmark::State &state) {
  Profile profile(Sites, 5);
  auto window = profile.Open();
  window->edMasterPass->setText(QStringLiteral("correct horse battery staple"));
  int next = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ++next;
    window->edURL->setText(QStringLiteral("https://new%1.example.net/sign-in").arg(next));
    window->edLogin->setEditText(QStringLiteral("someone@mail.example.com"));
    state.ResumeTiming();
    window->bbGenerate->click();
  }
  if (profile.warnings > 0 || window->URLs().Count() != Sites + next)
    state.SkipWithError("Generate did not add the new site");
  state.counters["sites"] = static_cast<double>(window->URLs().Count());
}
BENCHMARK(GenerateNewURL)->Iterations(200)->Unit(benchmark::kMillisecond);

void GenerateKnownURL(benchmark::State &state) {
  Profile profile(Sites, 5);
  auto window = profile.Open();
  window->edMasterPass->setText(QStringLiteral("correct horse battery staple"));
  const int position = window->bgThumbs->Count() / 2;
  for (auto _ : state) {
    state.PauseTiming();
    emit window->bgThumbs->ButtonClicked(position);
    state.ResumeTiming();
    window->bbGenerate->click();
  }
  if (profile.warnings > 0 || window->edPassword->text().isEmpty() ||
      window->URLs().Count() != Sites)
    state.SkipWithError("Generate gave no password or changed the site list");
}
BENCHMARK(GenerateKnownURL)->Unit(benchmark::kMillisecond);

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
