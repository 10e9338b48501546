// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SingleInstance.h"

#ifndef _WIN32
#include "support/ChildProcess.h"
#endif
#include "support/TempFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

using TKvLock = TKvSingleInstance::TKvLock;

QString Q(const std::filesystem::path &path) {
  return QString::fromStdString(path.string());
}

// A later start's request from these displays, with no token.
TKvStartRequest From(const char *x11, const char *wayland = "") {
  return {QString::fromUtf8(x11), QString::fromUtf8(wayland), {}, {}};
}

// A data folder and a runtime folder of the user's own; each instance is made for them.
class SingleInstance : public TempFolderTest {
protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    data = folder / "data";
    runtime = folder / "run";
    std::filesystem::create_directories(data);
    std::filesystem::create_directory(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  }
  std::unique_ptr<TKvSingleInstance> Instance(const std::filesystem::path &dataFolder) const {
    return std::make_unique<TKvSingleInstance>(Q(dataFolder), Q(runtime));
  }

  // What a later start hears when it hands on request, from a thread of its own (it waits for the
  // answer that the running instance's event loop gives). The running instance's ShowRequested
  // handler runs a loop of its own until the later start has its answer, as the opened window
  // does until it closes: the answer must have gone before.
  struct THandOn {
    TKvHandOnResult Result;
    std::optional<TKvStartRequest> Shown;
    bool AnsweredBeforeShowing = false;
  };
  static THandOn HandOn(TKvSingleInstance &running, const TKvSingleInstance &later,
                        const TKvStartRequest &request) {
    THandOn outcome;
    std::unique_ptr<QThread> caller(
        QThread::create([&] { outcome.Result = later.HandOn(request, 5000); }));
    QObject::connect(&running, &TKvSingleInstance::ShowRequested, caller.get(),
                     [&](const TKvStartRequest &shown) {
                       outcome.Shown = shown;
                       QEventLoop windowLoop;
                       QObject::connect(caller.get(), &QThread::finished, &windowLoop,
                                        &QEventLoop::quit);
                       QTimer::singleShot(6000, &windowLoop, &QEventLoop::quit);
                       if (!caller->isFinished())
                         windowLoop.exec();
                       outcome.AnsweredBeforeShowing = caller->isFinished();
                     });
    QEventLoop waiting;
    QObject::connect(caller.get(), &QThread::finished, &waiting, &QEventLoop::quit);
    caller->start();
    QTimer::singleShot(8000, &waiting, &QEventLoop::quit);
    waiting.exec();
    caller->wait();
    // The show comes from a queued call, after the answer.
    QCoreApplication::processEvents();
    QObject::disconnect(&running, &TKvSingleInstance::ShowRequested, nullptr, nullptr);
    return outcome;
  }

  std::filesystem::path data;
  std::filesystem::path runtime;
};

TEST_F(SingleInstance, ALaterStartIsRefusedAndTheRunningOneOpensItsWindowAfterAnswering) {
  auto running = Instance(data);
  ASSERT_EQ(running->TryLock(), TKvLock::Taken);
  ASSERT_TRUE(running->Listen({QStringLiteral("DISPLAY"), QStringLiteral(":5")}));

  const auto later = Instance(data);
  EXPECT_EQ(later->TryLock(), TKvLock::Held);
  const TKvStartRequest request{QStringLiteral(":5.0"),
                                {},
                                QStringLiteral("wayland-token"),
                                QStringLiteral("startup_TIME42")};
  const THandOn outcome = HandOn(*running, *later, request);

  EXPECT_EQ(outcome.Result.Outcome, TKvHandOn::Shown);
  ASSERT_TRUE(outcome.Shown.has_value());
  EXPECT_TRUE(outcome.AnsweredBeforeShowing);
  EXPECT_EQ(outcome.Shown->X11Display, QStringLiteral(":5.0"));
  EXPECT_EQ(outcome.Shown->ActivationToken, QStringLiteral("wayland-token"));
  EXPECT_EQ(outcome.Shown->StartupId, QStringLiteral("startup_TIME42"));

  // Once the running one has ended, the next start is the first again.
  const QString lockFile = running->LockFileName();
  EXPECT_TRUE(QFileInfo::exists(lockFile));
  running.reset();
  EXPECT_FALSE(QFileInfo::exists(lockFile));
  EXPECT_EQ(Instance(data)->TryLock(), TKvLock::Taken);
}

TEST_F(SingleInstance, AStartFromAnotherDisplayIsToldWhereTheProgramRunsAndNothingOpens) {
  struct TCase {
    const char *Name;
    TKvDisplay Running;
    TKvStartRequest Request;
    TKvHandOn Outcome;
    QString Where;
  };
  const QString x11 = QStringLiteral("DISPLAY");
  const QString wayland = QStringLiteral("WAYLAND_DISPLAY");
  const TCase cases[] = {
      {"same X display", {x11, QStringLiteral(":5")}, From(":5"), TKvHandOn::Shown, {}},
      {"same X display, another screen",
       {x11, QStringLiteral(":5.1")},
       From(":5.0"),
       TKvHandOn::Shown,
       {}},
      {"another X display",
       {x11, QStringLiteral(":5")},
       From(":6"),
       TKvHandOn::Elsewhere,
       QStringLiteral(":5")},
      {"no display at all",
       {x11, QStringLiteral(":5")},
       From(""),
       TKvHandOn::Elsewhere,
       QStringLiteral(":5")},
      {"same Wayland display",
       {wayland, QStringLiteral("wayland-1")},
       From(":0", "wayland-1"),
       TKvHandOn::Shown,
       {}},
      {"another Wayland display, same X display",
       {wayland, QStringLiteral("wayland-1")},
       From(":0", "wayland-0"),
       TKvHandOn::Elsewhere,
       QStringLiteral("wayland-1")},
      {"a platform without display names", {}, From(":7"), TKvHandOn::Shown, {}},
  };
  for (const TCase &row : cases) {
    SCOPED_TRACE(row.Name);
    const auto running = Instance(data);
    ASSERT_EQ(running->TryLock(), TKvLock::Taken);
    ASSERT_TRUE(running->Listen(row.Running));
    const THandOn outcome = HandOn(*running, *Instance(data), row.Request);
    EXPECT_EQ(outcome.Result.Outcome, row.Outcome);
    EXPECT_EQ(outcome.Result.Display, row.Where);
    EXPECT_EQ(outcome.Shown.has_value(), row.Outcome == TKvHandOn::Shown);
  }
}

TEST_F(SingleInstance, EachDataFolderHasItsOwnInstanceWhateverItsSpelling) {
  const auto first = Instance(data);
  ASSERT_EQ(first->TryLock(), TKvLock::Taken);

  // The same folder with a trailing "." part, and through a link (the MinGW C++ library makes
  // none on Windows): the same instance.
  EXPECT_EQ(Instance(data / ".")->TryLock(), TKvLock::Held);
#ifndef _WIN32
  std::filesystem::create_directory_symlink(data, folder / "link");
  EXPECT_EQ(Instance(folder / "link")->TryLock(), TKvLock::Held);
  EXPECT_EQ(Instance(folder / "link")->ServerName(), first->ServerName());
#endif

  // Another data folder, also one that does not exist yet: an instance of its own.
  const auto other = Instance(folder / "other" / "data");
  EXPECT_EQ(other->TryLock(), TKvLock::Taken);
  EXPECT_NE(other->ServerName(), first->ServerName());
  EXPECT_NE(other->LockFileName(), first->LockFileName());
}

// A child process that ends without a word needs fork().
#ifndef _WIN32
TEST_F(SingleInstance, ALockLeftByAKilledProgramIsTakenAtOnceAndItsSocketReplaced) {
  // A child process takes the lock, listens and ends without a word, as one killed would.
  const auto child = InChildProcess([this] {
    auto *dying = Instance(data).release();
    const bool ok = dying->TryLock() == TKvLock::Taken && dying->Listen({});
    return std::string(ok ? "listening" : "failed");
  });
  ASSERT_EQ(child, std::optional<std::string>("listening"));
  const auto next = Instance(data);
  ASSERT_TRUE(QFileInfo::exists(next->LockFileName()));
  ASSERT_TRUE(QFileInfo::exists(next->ServerName()));

  EXPECT_EQ(next->TryLock(), TKvLock::Taken);
  ASSERT_TRUE(next->Listen({}));
  const THandOn outcome = HandOn(*next, *Instance(data), From(""));
  EXPECT_EQ(outcome.Result.Outcome, TKvHandOn::Shown);
  EXPECT_TRUE(outcome.Shown.has_value());
}
#endif

TEST_F(SingleInstance, ALockLeftUnderThisProcesssOwnIdIsTakenAtOnce) {
  // A program that had this process's id before (Wine deals ids out again after each start of its
  // server) left its lock: the very bytes this process writes, and no one holds the file.
  const auto earlier = Instance(data);
  ASSERT_EQ(earlier->TryLock(), TKvLock::Taken);
  const std::filesystem::path lockFile = earlier->LockFileName().toStdString();
  const std::string left = ReadFile(lockFile);
  earlier->Unlock();
  WriteFile(lockFile, left);

  const auto next = Instance(data);
  EXPECT_EQ(next->TryLock(), TKvLock::Taken);
  // Held open, as by a running instance, the same lock stays its holder's.
  EXPECT_EQ(Instance(data)->TryLock(), TKvLock::Held);
}

TEST_F(SingleInstance, AHolderThatDoesNotAnswerIsReportedAndItsSocketStaysItsOwn) {
  const auto silent = Instance(data);
  ASSERT_EQ(silent->TryLock(), TKvLock::Taken);
  EXPECT_EQ(Instance(data)->HandOn(From(""), 300).Outcome, TKvHandOn::NoAnswer);
  // A start without the lock never takes over the socket of the one that holds it.
  EXPECT_FALSE(Instance(data)->Listen({}));
}

TEST_F(SingleInstance, ARuntimeFolderThatCannotServeRefusesTheStartAndSaysWhy) {
  WriteFile(folder / "file", "");
  std::filesystem::create_directory(folder / "open");
  std::filesystem::permissions(folder / "open", std::filesystem::perms::owner_all |
                                                    std::filesystem::perms::group_read |
                                                    std::filesystem::perms::group_exec |
                                                    std::filesystem::perms::others_read |
                                                    std::filesystem::perms::others_exec);
  struct TCase {
    const char *Name;
    std::filesystem::path Runtime;
    const char *Why;
  };
  const TCase cases[] = {
      {"missing", folder / "missing" / "run", "does not exist"},
      {"a file", folder / "file", "is not a folder"},
#ifndef _WIN32
      {"open to others", folder / "open", "is open to other users (mode 0755)"},
#endif
  };
  for (const TCase &row : cases) {
    SCOPED_TRACE(row.Name);
    TKvSingleInstance start(Q(data), Q(row.Runtime));
    EXPECT_EQ(start.TryLock(), TKvLock::Refused);
    EXPECT_EQ(start.Refusal(),
              QStringLiteral("Korvane Quillgate cannot start: the runtime folder ") +
                  QDir::toNativeSeparators(Q(row.Runtime)) + u' ' + QString::fromUtf8(row.Why) +
                  u'.');
    // Refused, it holds nothing and answers no one.
    EXPECT_FALSE(start.Listen({}));
  }
  // No folder was made for it, and the folder open to others holds no lock.
  EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
  EXPECT_TRUE(std::filesystem::is_empty(folder / "open"));
}

} // namespace
