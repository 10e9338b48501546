// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/HandleWatch.h"

#include <QSocketNotifier>

TKvHandleWatch::TKvHandleWatch(TKvWaitHandle handle, std::function<void()> onReady) {
  auto notifier = std::make_unique<QSocketNotifier>(handle, QSocketNotifier::Read);
  // The notifier may be deleted from within its own signal: Qt allows that.
  QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                   [onReady = std::move(onReady)] { onReady(); });
  FNotifier = std::move(notifier);
}

TKvHandleWatch::~TKvHandleWatch() = default;
