// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LocalChannel.h"

#include "common/Unicode.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

using TClock = std::chrono::steady_clock;

// A descriptor closed when its owner ends.
class TKvDescriptor {
public:
  explicit TKvDescriptor(int descriptor = -1) : FDescriptor(descriptor) {}
  ~TKvDescriptor() { Reset(); }
  TKvDescriptor(const TKvDescriptor &) = delete;
  TKvDescriptor &operator=(const TKvDescriptor &) = delete;
  int Get() const { return FDescriptor; }
  int Release() { return std::exchange(FDescriptor, -1); }
  void Reset(int descriptor = -1) {
    if (FDescriptor >= 0)
      close(FDescriptor);
    FDescriptor = descriptor;
  }

private:
  int FDescriptor;
};

bool AddressOf(const std::string &path, sockaddr_un &address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path)
    return false;
  std::memcpy(address.sun_path, path.data(), path.size());
  return true;
}

int NewSocket() {
  return socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

// Milliseconds left until deadline, at least 0.
int Remaining(TClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
  return static_cast<int>(std::clamp<decltype(left)>(left, 0, 1 << 30));
}

// Waits until descriptor is ready for events or deadline has passed; false then.
bool WaitFor(int descriptor, short events, TClock::time_point deadline) {
  for (;;) {
    pollfd wanted{descriptor, events, 0};
    const int ready = poll(&wanted, 1, Remaining(deadline));
    if (ready > 0)
      return true;
    if (ready == 0 || errno != EINTR)
      return false;
  }
}

// Appends what one read() gives: its size; 0 at the end or when the connection broke; -1 when
// nothing waits.
ssize_t ReadSome(int descriptor, std::string &into) {
  char buffer[4096];
  ssize_t got;
  do
    got = read(descriptor, buffer, sizeof buffer);
  while (got < 0 && errno == EINTR);
  if (got > 0)
    into.append(buffer, static_cast<std::size_t>(got));
  return got < 0 && errno != EAGAIN && errno != EWOULDBLOCK ? 0 : got;
}

// Sends all of text, waiting while the socket's buffer is full until deadline; false when the
// connection broke or the time ran out.
bool SendAll(int descriptor, const std::string &text, TClock::time_point deadline) {
  for (std::size_t done = 0; done < text.size();) {
    // A peer that has gone must not end the program with SIGPIPE.
    const ssize_t sent = send(descriptor, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (sent > 0)
      done += static_cast<std::size_t>(sent);
    else if (sent == 0 ||
             (errno != EINTR && (errno != EAGAIN || !WaitFor(descriptor, POLLOUT, deadline))))
      return false;
  }
  return true;
}

class TKvSocketConnection : public IKvChannelConnection {
public:
  explicit TKvSocketConnection(int descriptor) : FSocket(descriptor) {}
  TKvWaitHandle Handle() const override { return FSocket.Get(); }
  bool Read(std::string &into) override { return ReadSome(FSocket.Get(), into) != 0; }
  // A short text fits the socket's buffer: it goes at once.
  bool Write(const std::string &text) override {
    return SendAll(FSocket.Get(), text, TClock::now());
  }

private:
  TKvDescriptor FSocket;
};

class TKvSocketServer : public IKvChannelServer {
public:
  TKvSocketServer(int descriptor, std::string path, ino_t node)
      : FSocket(descriptor), FPath(std::move(path)), FNode(node) {}
  ~TKvSocketServer() override {
    // Only the file this server made: a later one may have replaced it.
    struct stat status {};
    if (lstat(FPath.c_str(), &status) == 0 && status.st_ino == FNode)
      unlink(FPath.c_str());
  }
  TKvWaitHandle Handle() const override { return FSocket.Get(); }
  std::unique_ptr<IKvChannelConnection> Accept() override {
    for (;;) {
      const int caller = accept4(FSocket.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (caller < 0) {
        if (errno == EINTR || errno == ECONNABORTED)
          continue;
        return nullptr;
      }
      auto connection = std::make_unique<TKvSocketConnection>(caller);
      // The socket's mode keeps other users out; should it be opened wider, the kernel's word on
      // who called still does.
      ucred peer{};
      socklen_t size = sizeof peer;
      if (getsockopt(caller, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == geteuid())
        return connection;
    }
  }

private:
  TKvDescriptor FSocket;
  std::string FPath;
  ino_t FNode;
};

} // namespace

std::u16string ChannelAddress(const std::u16string &folder, const std::u16string &name) {
  return folder + u'/' + name;
}

std::unique_ptr<IKvChannelServer> ListenChannel(const std::u16string &address) {
  const std::string path = Utf16ToUtf8(address);
  sockaddr_un where{};
  if (!AddressOf(path, where))
    return nullptr;
  TKvDescriptor server(NewSocket());
  if (server.Get() < 0)
    return nullptr;
  const auto bindTo = [&] {
    return bind(server.Get(), reinterpret_cast<const sockaddr *>(&where), sizeof where) == 0;
  };
  if (!bindTo()) {
    // A socket left by a program that died.
    struct stat status {};
    if (errno != EADDRINUSE || lstat(path.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode) ||
        unlink(path.c_str()) != 0 || !bindTo())
      return nullptr;
  }
  // No caller gets in before listen(): the mode is right by then.
  struct stat made {};
  if (chmod(path.c_str(), S_IRUSR | S_IWUSR) != 0 || lstat(path.c_str(), &made) != 0 ||
      listen(server.Get(), SOMAXCONN) != 0) {
    unlink(path.c_str());
    return nullptr;
  }
  return std::make_unique<TKvSocketServer>(server.Release(), path, made.st_ino);
}

std::optional<std::string> AskChannel(const std::u16string &address, const std::string &request,
                                      int timeoutMs) {
  const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
  sockaddr_un where{};
  if (!AddressOf(Utf16ToUtf8(address), where))
    return std::nullopt;
  TKvDescriptor caller;
  for (;;) {
    caller.Reset(NewSocket());
    if (caller.Get() < 0)
      return std::nullopt;
    if (connect(caller.Get(), reinterpret_cast<const sockaddr *>(&where), sizeof where) == 0)
      break;
    // No server yet, or one too busy to take another caller: it is tried again a little later.
    if (Remaining(deadline) == 0)
      return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!SendAll(caller.Get(), request, deadline))
    return std::nullopt;
  std::string answer;
  while (answer.find('\n') == std::string::npos) {
    if (!WaitFor(caller.Get(), POLLIN, deadline) || ReadSome(caller.Get(), answer) == 0)
      return std::nullopt;
  }
  answer.resize(answer.find('\n'));
  return answer;
}
