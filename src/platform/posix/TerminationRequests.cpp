// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TerminationRequests.h"

#include "common/KvError.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The self-pipe: the handler only writes one byte into it; everything else happens in the loop.
volatile std::sig_atomic_t WriteEnd = -1;

extern "C" void RecordRequest(int) {
  const int savedErrno = errno;
  if (WriteEnd >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(WriteEnd, &byte, 1);
  }
  errno = savedErrno;
}

constexpr int Watched[] = {SIGTERM, SIGINT, SIGHUP};

class TKvSignalPipe : public IKvTerminationRequests {
public:
  TKvSignalPipe() {
    if (pipe(FEnds) != 0)
      throw EKvError(u"Cannot create the pipe for termination requests.");
    for (const int end : FEnds) {
      fcntl(end, F_SETFD, FD_CLOEXEC);
      fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
    }
    WriteEnd = FEnds[1];
    struct sigaction action {};
    action.sa_handler = RecordRequest;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
      sigaction(Watched[i], &action, &FPrevious[i]);
  }
  ~TKvSignalPipe() override {
    for (int i = 0; i < 3; ++i)
      sigaction(Watched[i], &FPrevious[i], nullptr);
    if (WriteEnd == FEnds[1])
      WriteEnd = -1;
    close(FEnds[0]);
    close(FEnds[1]);
  }
  int Handle() const override { return FEnds[0]; }
  bool Take() override {
    bool any = false;
    char buffer[64];
    ssize_t got;
    while ((got = read(FEnds[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))
      any = any || got > 0;
    return any;
  }

private:
  int FEnds[2] = {-1, -1};
  struct sigaction FPrevious[3]{};
};

} // namespace

std::unique_ptr<IKvTerminationRequests> WatchTerminationRequests() {
  return std::make_unique<TKvSignalPipe>();
}
