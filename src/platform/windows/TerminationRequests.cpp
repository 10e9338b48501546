// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TerminationRequests.h"

namespace {

// Windows tells a program with windows about log-off and shutdown through window messages, which
// the toolkit turns into its session manager's request; there are no signals to record.
class TKvNoRequests : public IKvTerminationRequests {
public:
  int Handle() const override { return -1; }
  bool Take() override { return false; }
};

} // namespace

std::unique_ptr<IKvTerminationRequests> WatchTerminationRequests() {
  return std::make_unique<TKvNoRequests>();
}
