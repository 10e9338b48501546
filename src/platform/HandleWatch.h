// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A handle of the platform layer (LocalChannel.h) watched in the toolkit's event loop: POSIX a
// descriptor that becomes readable, Windows an event that is set. Part of kv_platform_desktop,
// the piece of the platform layer that works through Qt.

#include "platform/LocalChannel.h"

#include <functional>
#include <memory>

class QObject;

class TKvHandleWatch {
public:
  // Calls onReady from the event loop of the calling thread each time handle is ready, until the
  // watch ends. It may end (be destroyed) from within onReady; the handle must outlive it.
  TKvHandleWatch(TKvWaitHandle handle, std::function<void()> onReady);
  ~TKvHandleWatch();
  TKvHandleWatch(const TKvHandleWatch &) = delete;
  TKvHandleWatch &operator=(const TKvHandleWatch &) = delete;

private:
  std::unique_ptr<QObject> FNotifier;
};
