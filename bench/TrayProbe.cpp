// SPDX-License-Identifier: GPL-3.0-or-later
// One start of a tray program on the X display named by DISPLAY, measured: the time from starting
// it until its icon sits embedded in the tray, and its memory after it has idled a while. Ends the
// program afterwards. bench/tray-startup.sh runs it on a private X server with a tray.
//
// usage: kv_tray_probe IDLE_SECONDS COMMAND [ARGS...]
// prints: tray_ms=N rss_kb=N pss_kb=N anon_kb=N

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct FreeDeleter {
  void operator()(void *p) const { std::free(p); }
};
template <typename T> using XcbPtr = std::unique_ptr<T, FreeDeleter>;
using Event = XcbPtr<xcb_generic_event_t>;

struct Disconnect {
  void operator()(xcb_connection_t *c) const { xcb_disconnect(c); }
};

class XConnection {
public:
  XConnection() : FConnection(xcb_connect(nullptr, &FScreen)) {
    if (xcb_connection_has_error(Get()))
      throw std::runtime_error("cannot connect to the X display");
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(Get()));
    for (int i = 0; i < FScreen; ++i)
      xcb_screen_next(&screens);
    FRoot = screens.data->root;
    fcntl(xcb_get_file_descriptor(Get()), F_SETFD, FD_CLOEXEC); // not the program's to keep
  }

  xcb_connection_t *Get() const { return FConnection.get(); }
  int Screen() const { return FScreen; }
  xcb_window_t Root() const { return FRoot; }

  // The client that created a window: its resource ids share the bits outside this mask.
  uint32_t ClientOf(xcb_window_t window) const {
    return window & ~xcb_get_setup(Get())->resource_id_mask;
  }

  xcb_atom_t Atom(const std::string &name) const {
    XcbPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        Get(), xcb_intern_atom(Get(), 0, static_cast<uint16_t>(name.size()), name.c_str()),
        nullptr));
    if (!reply)
      throw std::runtime_error("cannot intern the atom " + name);
    return reply->atom;
  }

  xcb_window_t SelectionOwner(xcb_atom_t selection) const {
    XcbPtr<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(Get(), xcb_get_selection_owner(Get(), selection), nullptr));
    return reply ? reply->owner : XCB_NONE;
  }

  void SelectEvents(xcb_window_t window, uint32_t mask) const {
    XcbPtr<xcb_generic_error_t> error(xcb_request_check(
        Get(), xcb_change_window_attributes_checked(Get(), window, XCB_CW_EVENT_MASK, &mask)));
    if (error)
      throw std::runtime_error("cannot watch an X window's events");
  }

  bool IsViewable(xcb_window_t window) const {
    XcbPtr<xcb_get_window_attributes_reply_t> reply(
        xcb_get_window_attributes_reply(Get(), xcb_get_window_attributes(Get(), window), nullptr));
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
  }

  // The next event, or none once `until` has passed.
  Event NextEvent(Clock::time_point until) const {
    for (;;) {
      if (Event event{xcb_poll_for_event(Get())})
        return event;
      if (xcb_connection_has_error(Get()))
        throw std::runtime_error("lost the X connection");
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
      if (left <= 0ms)
        return nullptr;
      pollfd fd{xcb_get_file_descriptor(Get()), POLLIN, 0};
      poll(&fd, 1, static_cast<int>(left.count()));
    }
  }

private:
  int FScreen = 0;
  std::unique_ptr<xcb_connection_t, Disconnect> FConnection;
  xcb_window_t FRoot = XCB_NONE;
};

// The program under test, ended (TERM, then KILL after 2 s) when this goes.
class Child {
public:
  explicit Child(char **argv) : FPid(fork()) {
    if (FPid < 0)
      throw std::system_error(errno, std::generic_category(), "fork");
    if (FPid == 0) {
      dup2(STDERR_FILENO, STDOUT_FILENO); // stdout carries the figures alone
      execvp(argv[0], argv);
      std::perror(argv[0]);
      _exit(127);
    }
  }
  Child(const Child &) = delete;
  Child &operator=(const Child &) = delete;

  ~Child() {
    if (Ended())
      return;
    kill(FPid, SIGTERM);
    for (int i = 0; i < 40 && !Ended(); ++i)
      std::this_thread::sleep_for(50ms);
    if (!Ended()) {
      kill(FPid, SIGKILL);
      waitpid(FPid, nullptr, 0);
    }
  }

  pid_t Pid() const { return FPid; }

  // Whether the program has ended; reaps it when it has.
  bool Ended() {
    if (!FEnded && waitpid(FPid, nullptr, WNOHANG) == FPid)
      FEnded = true;
    return FEnded;
  }

private:
  pid_t FPid;
  bool FEnded = false;
};

// Waits until a tray owns the tray selection of the connection's screen; returns the owner.
xcb_window_t WaitForTray(const XConnection &x) {
  // A tray announces itself to the root window's StructureNotify listeners; an icon leaving the
  // root window for the tray is reported to its SubstructureNotify listeners.
  x.SelectEvents(x.Root(), XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
  const xcb_atom_t selection = x.Atom("_NET_SYSTEM_TRAY_S" + std::to_string(x.Screen()));
  const auto until = Clock::now() + 10s;
  xcb_window_t owner;
  while ((owner = x.SelectionOwner(selection)) == XCB_NONE)
    if (!x.NextEvent(until))
      throw std::runtime_error("no tray on the display");
  while (x.NextEvent(Clock::now())) // what came before the program started is not its doing
    ;
  return owner;
}

// Waits until a window of another client than the tray's has been reparented into one of the
// tray's windows and is viewable: the icon, embedded. Returns that moment.
Clock::time_point WaitForIcon(const XConnection &x, xcb_window_t tray, Child &program) {
  const auto until = Clock::now() + 20s;
  xcb_window_t icon = XCB_NONE;
  while (Clock::now() < until) {
    // Viewable follows the icon's MapNotify, or in rare orders its parent's: poll then.
    const Event event = x.NextEvent(std::min(until, Clock::now() + (icon ? 5ms : 50ms)));
    const auto moment = Clock::now();
    if (event && (event->response_type & 0x7f) == XCB_REPARENT_NOTIFY) {
      const auto *reparent = reinterpret_cast<const xcb_reparent_notify_event_t *>(event.get());
      if (x.ClientOf(reparent->parent) == x.ClientOf(tray) &&
          x.ClientOf(reparent->window) != x.ClientOf(tray)) {
        icon = reparent->window;
        x.SelectEvents(icon, XCB_EVENT_MASK_STRUCTURE_NOTIFY);
      }
    }
    if (icon && x.IsViewable(icon))
      return moment;
    if (program.Ended())
      throw std::runtime_error("the program ended before its icon was embedded");
  }
  throw std::runtime_error("no icon was embedded within 20 s");
}

struct Memory {
  long RssKb = 0, PssKb = 0, AnonKb = 0;
};

Memory ReadMemory(pid_t pid) {
  std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
  Memory memory;
  int read = 0;
  for (std::string key; rollup >> key;) {
    long *field = key == "Rss:"         ? &memory.RssKb
                  : key == "Pss:"       ? &memory.PssKb
                  : key == "Anonymous:" ? &memory.AnonKb
                                        : nullptr;
    if (field && rollup >> *field)
      ++read;
  }
  if (read != 3)
    throw std::runtime_error("cannot read the program's memory figures");
  return memory;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s IDLE_SECONDS COMMAND [ARGS...]\n", argv[0]);
    return 2;
  }
  try {
    const auto idle = std::chrono::seconds(std::stoi(argv[1]));
    const XConnection x;
    const xcb_window_t tray = WaitForTray(x);

    const auto start = Clock::now();
    Child program(argv + 2);
    const auto embedded = WaitForIcon(x, tray, program);
    const auto trayMs = std::chrono::round<std::chrono::milliseconds>(embedded - start);

    std::this_thread::sleep_for(idle);
    if (program.Ended())
      throw std::runtime_error("the program ended while idle");
    const Memory memory = ReadMemory(program.Pid());
    std::printf("tray_ms=%lld rss_kb=%ld pss_kb=%ld anon_kb=%ld\n",
                static_cast<long long>(trayMs.count()), memory.RssKb, memory.PssKb, memory.AnonKb);
    return 0;
  } catch (const std::exception &e) {
    std::fprintf(stderr, "kv_tray_probe: %s\n", e.what());
    return 1;
  }
}
