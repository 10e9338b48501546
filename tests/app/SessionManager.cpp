// SPDX-License-Identifier: GPL-3.0-or-later
// A session manager for the tests: it speaks XSMP through libSM and libICE, as a desktop's session
// manager does, on local sockets only, and lets its clients in by host-based authentication (every
// client here is local). It prints "SESSION_MANAGER=ADDRESS" once it listens, then a line for
// each thing its clients do: "registered" (a new client, which is at once asked to save its state,
// as the protocol has it), "interact-request" (granted at once), "save-yourself-done 1" (or 0 for
// a failed save), "closed" (the client said goodbye) or "lost" (its connection broke). Commands
// come on standard input, a line each, and go to every registered client; each is echoed as
// "sent COMMAND" once it is on its way:
//   ask     a log-off's question: SaveYourself of both kinds of data, shutdown, any interaction
//   cancel  ShutdownCancelled: the log-off was called off
//   die     Die: the session ends
// It ends at the end of its input or by SIGTERM, and removes its sockets.
//   kv_session_manager

#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct TClient {
  IceConn Ice = nullptr;
  SmsConn Sms = nullptr;
  bool Registered = false;
  bool Closed = false; // libSM has let go of the connection
};

std::vector<std::unique_ptr<TClient>> Clients;

void Say(const std::string &line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

[[noreturn]] void Fail(const std::string &what) {
  std::fprintf(stderr, "kv_session_manager: %s\n", what.c_str());
  std::exit(1);
}

Bool LocalHostAllowed(char *) {
  return True;
}

TClient &ClientOf(SmPointer data) {
  return *static_cast<TClient *>(data);
}

Status RegisterClient(SmsConn sms, SmPointer data, char *previousId) {
  std::free(previousId);
  char *id = SmsGenerateClientID(sms);
  const Status replied = SmsRegisterClientReply(sms, id ? id : const_cast<char *>("kv-client"));
  std::free(id);
  if (!replied)
    return 0;
  ClientOf(data).Registered = true;
  Say("registered");
  SmsSaveYourself(sms, SmSaveLocal, False, SmInteractStyleNone, False);
  return 1;
}

void InteractRequest(SmsConn sms, SmPointer, int) {
  Say("interact-request");
  SmsInteract(sms);
}

void InteractDone(SmsConn, SmPointer, Bool cancelShutdown) {
  Say(cancelShutdown ? "interact-done cancel" : "interact-done");
}

void SaveYourselfRequest(SmsConn, SmPointer, int, Bool, int, Bool, Bool) {
  Say("save-yourself-request");
}

void SaveYourselfPhase2Request(SmsConn sms, SmPointer) {
  SmsSaveYourselfPhase2(sms);
}

void SaveYourselfDone(SmsConn, SmPointer, Bool success) {
  Say(success ? "save-yourself-done 1" : "save-yourself-done 0");
}

void CloseConnection(SmsConn sms, SmPointer data, int count, char **reasons) {
  SmFreeReasons(count, reasons);
  IceConn ice = SmsGetIceConnection(sms);
  SmsCleanUp(sms);
  IceSetShutdownNegotiation(ice, False);
  IceCloseConnection(ice);
  ClientOf(data).Closed = true;
  Say("closed");
}

void SetProperties(SmsConn, SmPointer, int count, SmProp **properties) {
  for (int i = 0; i < count; ++i)
    SmFreeProperty(properties[i]);
  std::free(properties);
}

void DeleteProperties(SmsConn, SmPointer, int count, char **names) {
  for (int i = 0; i < count; ++i)
    std::free(names[i]);
  std::free(names);
}

void GetProperties(SmsConn sms, SmPointer) {
  SmsReturnProperties(sms, 0, nullptr);
}

// A client's protocol set-up: its connection is the one accepted last with that ICE connection.
Status NewClient(SmsConn sms, SmPointer, unsigned long *mask, SmsCallbacks *callbacks,
                 char **failureReason) {
  TClient *client = nullptr;
  for (const auto &candidate : Clients)
    if (candidate->Ice == SmsGetIceConnection(sms))
      client = candidate.get();
  if (!client) {
    *failureReason = strdup("unknown connection");
    return 0;
  }
  client->Sms = sms;
  *callbacks = {};
  callbacks->register_client = {RegisterClient, client};
  callbacks->interact_request = {InteractRequest, client};
  callbacks->interact_done = {InteractDone, client};
  callbacks->save_yourself_request = {SaveYourselfRequest, client};
  callbacks->save_yourself_phase2_request = {SaveYourselfPhase2Request, client};
  callbacks->save_yourself_done = {SaveYourselfDone, client};
  callbacks->close_connection = {CloseConnection, client};
  callbacks->set_properties = {SetProperties, client};
  callbacks->delete_properties = {DeleteProperties, client};
  callbacks->get_properties = {GetProperties, client};
  *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
          SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask |
          SmsSaveYourselfDoneProcMask | SmsCloseConnectionProcMask | SmsSetPropertiesProcMask |
          SmsDeletePropertiesProcMask | SmsGetPropertiesProcMask;
  return 1;
}

volatile std::sig_atomic_t Ended = 0;
extern "C" void End(int) {
  Ended = 1;
}

// Listens on the local transports only: the others (TCP) are closed at once.
std::vector<IceListenObj> ListenLocally() {
  char error[256] = "";
  int count = 0;
  IceListenObj *all = nullptr;
  if (!IceListenForConnections(&count, &all, sizeof error, error))
    Fail(std::string("cannot listen: ") + error);
  std::vector<IceListenObj> local;
  auto *others = static_cast<IceListenObj *>(std::calloc(std::size_t(count), sizeof(IceListenObj)));
  int otherCount = 0;
  for (int i = 0; i < count; ++i) {
    char *address = IceGetListenConnectionString(all[i]);
    const std::string transport = std::string(address).substr(0, std::string(address).find('/'));
    std::free(address);
    if (transport == "local" || transport == "unix") {
      IceSetHostBasedAuthProc(all[i], LocalHostAllowed);
      local.push_back(all[i]);
    } else {
      others[otherCount++] = all[i];
    }
  }
  IceFreeListenObjs(otherCount, others);
  std::free(all);
  if (local.empty())
    Fail("no local transport to listen on");
  return local;
}

void Send(const std::string &command) {
  for (const auto &client : Clients) {
    if (!client->Registered || client->Closed)
      continue;
    if (command == "ask")
      SmsSaveYourself(client->Sms, SmSaveBoth, True, SmInteractStyleAny, False);
    else if (command == "cancel")
      SmsShutdownCancelled(client->Sms);
    else if (command == "die")
      SmsDie(client->Sms);
    else
      Fail("unknown command: " + command);
    IceFlush(client->Ice);
  }
  Say("sent " + command);
}

void Accept(IceListenObj listener) {
  IceAcceptStatus status;
  IceConn ice = IceAcceptConnection(listener, &status);
  if (status != IceAcceptSuccess)
    return;
  auto client = std::make_unique<TClient>();
  client->Ice = ice;
  Clients.push_back(std::move(client));
}

// Handles what the client sent; false once its connection is gone.
bool Serve(TClient &client) {
  const IceProcessMessagesStatus status = IceProcessMessages(client.Ice, nullptr, nullptr);
  if (client.Closed || status == IceProcessMessagesConnectionClosed)
    return false;
  if (status == IceProcessMessagesIOError ||
      IceConnectionStatus(client.Ice) == IceConnectRejected) {
    if (client.Registered)
      Say("lost");
    if (client.Sms)
      SmsCleanUp(client.Sms);
    IceSetShutdownNegotiation(client.Ice, False);
    IceCloseConnection(client.Ice);
    return false;
  }
  return true;
}

} // namespace

int main() {
  char error[256] = "";
  if (!SmsInitialize("Korvane", "1.0", NewClient, nullptr, LocalHostAllowed, sizeof error, error))
    Fail(std::string("cannot start: ") + error);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP})
    std::signal(signal, End);
  std::vector<IceListenObj> listeners = ListenLocally();
  // Closing them removes the sockets.
  auto *owned = static_cast<IceListenObj *>(std::calloc(listeners.size(), sizeof(IceListenObj)));
  std::copy(listeners.begin(), listeners.end(), owned);
  char *address = IceComposeNetworkIdList(int(listeners.size()), listeners.data());
  Say(std::string("SESSION_MANAGER=") + address);
  std::free(address);

  std::string input;
  while (!Ended) {
    std::vector<pollfd> watched{{STDIN_FILENO, POLLIN, 0}};
    for (IceListenObj listener : listeners)
      watched.push_back({IceGetListenConnectionNumber(listener), POLLIN, 0});
    for (const auto &client : Clients)
      watched.push_back({IceConnectionNumber(client->Ice), POLLIN, 0});
    if (poll(watched.data(), watched.size(), -1) < 0)
      continue; // a signal: the loop's condition decides

    if (watched[0].revents) {
      char buffer[256];
      const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
      if (got <= 0)
        break;
      input.append(buffer, std::size_t(got));
      for (std::size_t end; (end = input.find('\n')) != std::string::npos;) {
        Send(input.substr(0, end));
        input.erase(0, end + 1);
      }
    }
    for (std::size_t i = 0; i < listeners.size(); ++i)
      if (watched[1 + i].revents)
        Accept(listeners[i]);
    // The clients as they were polled; those accepted just now come next time.
    const std::size_t first = 1 + listeners.size();
    std::vector<TClient *> ready;
    for (std::size_t i = first; i < watched.size(); ++i)
      if (watched[i].revents)
        ready.push_back(Clients[i - first].get());
    for (TClient *client : ready)
      if (!Serve(*client))
        std::erase_if(Clients, [client](const auto &held) { return held.get() == client; });
  }
  IceFreeListenObjs(int(listeners.size()), owned);
  return 0;
}
