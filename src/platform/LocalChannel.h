// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A channel between processes of one user on one machine, on the system's own calls: POSIX a Unix
// domain socket (mode 0600, in a folder of the user's own; a caller of another user is dropped
// as it arrives), Windows a named pipe that only the user's own processes can open, and no other
// computer. The server side never blocks: its handles tell the caller's event loop when to go on.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// What an event loop waits on: POSIX a descriptor that becomes readable, Windows an event that is
// set.
using TKvWaitHandle = std::intptr_t;

// One caller, as the server sees it. Destroying it closes the connection; an answer written
// before still reaches the caller.
class IKvChannelConnection {
public:
  virtual ~IKvChannelConnection() = default;
  // Ready when bytes or the caller's end have arrived; stays the same for the connection's life.
  virtual TKvWaitHandle Handle() const = 0;
  // Appends the bytes that have arrived (at most one read's worth: the handle stays ready while
  // more wait). False once the caller has closed its end or the connection broke.
  virtual bool Read(std::string &into) = 0;
  // Sends a short text (up to a few KiB) at once; false when the connection broke.
  virtual bool Write(const std::string &text) = 0;
};

class IKvChannelServer {
public:
  // Stops listening; POSIX removes the socket file.
  virtual ~IKvChannelServer() = default;
  // Ready when a caller waits to be accepted; stays the same for the server's life.
  virtual TKvWaitHandle Handle() const = 0;
  // The next caller that waits, or null when none does.
  virtual std::unique_ptr<IKvChannelConnection> Accept() = 0;
};

// Where the channel called name lives: POSIX the socket's path in folder, Windows the pipe
// \\.\pipe\<name> (folder plays no part).
std::u16string ChannelAddress(const std::u16string &folder, const std::u16string &name);

// Listens at address, or null when that cannot be done. A socket file found there is replaced: the
// caller makes sure, by a lock of its own, that no live server can be behind it.
std::unique_ptr<IKvChannelServer> ListenChannel(const std::u16string &address);

// Connects to the server at address, trying again every 20 ms while there is none (it may be
// starting), sends request and returns the server's answer up to its first line end (without
// it). Nothing when no complete line has come within timeoutMs from the call.
std::optional<std::string> AskChannel(const std::u16string &address, const std::string &request,
                                      int timeoutMs);
