// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

// Requests from outside the program to end it (on POSIX: SIGTERM, SIGINT and SIGHUP, as sent at
// log-off, shutdown or from a terminal). The requests are only recorded where they arrive; the
// program picks them up in its event loop and ends in order there.
class IKvTerminationRequests {
public:
  virtual ~IKvTerminationRequests() = default;
  // A descriptor that becomes readable when a request has arrived; -1 when there is none.
  virtual int Handle() const = 0;
  // Consumes what has arrived; true when at least one request came since the last call.
  virtual bool Take() = 0;
};

// Starts recording the system's termination requests for this process. Only one may exist at a
// time; its destruction gives the requests their default effect back.
std::unique_ptr<IKvTerminationRequests> WatchTerminationRequests();
