// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/HandleWatch.h"

#include <QWinEventNotifier>
#include <windows.h>

TKvHandleWatch::TKvHandleWatch(TKvWaitHandle handle, std::function<void()> onReady) {
  auto notifier = std::make_unique<QWinEventNotifier>(reinterpret_cast<HANDLE>(handle));
  // The notifier may be deleted from within its own signal: Qt allows that.
  QObject::connect(notifier.get(), &QWinEventNotifier::activated, notifier.get(),
                   [onReady = std::move(onReady)] { onReady(); });
  FNotifier = std::move(notifier);
}

TKvHandleWatch::~TKvHandleWatch() = default;
