// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The master password box's fingerprint: three trailing actions of the box that show the
// password's three symbols, with their names and the strength sentence as their tooltip and
// accessible description. The symbols are computed
// on a worker thread (an Argon2id takes milliseconds); a result that arrives after the box's text
// changed again is dropped, so the symbols always belong to the text in the box.

#include "crypto/Fingerprint.h"

#include <QObject>
#include <QString>
#include <array>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class QAction;
class QLineEdit;

// The symbols' tooltip: their names ("brown key, black cross, white bolt"), then the strength
// sentence, as rich text that wraps.
QString FingerprintToolTip(const QString &names, const QString &sentence);

class TKvFingerprintView : public QObject {
  Q_OBJECT

public:
  // Adds the three actions (hidden, named acFingerprint1 to acFingerprint3) to the box.
  explicit TKvFingerprintView(QLineEdit &box);
  // Stops the worker; a computation under way ends first and its result is dropped.
  ~TKvFingerprintView() override;
  TKvFingerprintView(const TKvFingerprintView &) = delete;
  TKvFingerprintView &operator=(const TKvFingerprintView &) = delete;

  // Computes the fingerprint of password off the UI thread and shows it when it is ready, unless
  // Hide or another Show came in between. An empty password shows nothing.
  void Show(const QString &password);
  // Hides the symbols; every computation under way is outdated.
  void Hide();

signals:
  // The symbols have just been shown.
  void Shown();

private:
  struct TResult {
    TKvFingerprint Symbols{};
    int Exponent = 0;
    bool Failed = false;
  };
  void Work();
  void Present(uint64_t generation, const TResult &result);
  void DropPending(); // with FLock held: wipes the password no worker has taken

  std::array<QAction *, 3> FActions{};
  uint64_t FGeneration = 0; // the UI thread's; the one result that may still be shown

  std::mutex FLock;
  std::condition_variable FWake;
  std::unique_ptr<std::u16string> FPending; // the password waiting for the worker
  uint64_t FPendingGeneration = 0;
  bool FStop = false;
  std::thread FWorker; // started at the first Show
};
