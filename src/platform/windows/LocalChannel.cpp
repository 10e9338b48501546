// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LocalChannel.h"

#include "Owned.h"
#include "WideText.h"

#include <chrono>
#include <sddl.h>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

constexpr DWORD BufferSize = 4096;

DWORD Remaining(TClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
  return left > 0 ? static_cast<DWORD>(left) : 0;
}

TKvHandle NewEvent() {
  // Manual reset: the event stays set until the operation behind it starts again.
  return TKvHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
}

// An operation under way on handle is called off, and its end awaited: the system writes into
// its OVERLAPPED and buffer until then.
void CallOff(HANDLE handle, OVERLAPPED &overlapped) {
  DWORD ignored = 0;
  if (CancelIoEx(handle, &overlapped) || GetLastError() != ERROR_NOT_FOUND)
    GetOverlappedResult(handle, &overlapped, &ignored, TRUE);
}

// Waits for an operation started on handle until deadline; false when it failed or the time ran
// out (it is called off then).
bool Finish(HANDLE handle, OVERLAPPED &overlapped, BOOL started, DWORD &done,
            TClock::time_point deadline) {
  if (!started && GetLastError() != ERROR_IO_PENDING)
    return false;
  if (WaitForSingleObject(overlapped.hEvent, Remaining(deadline)) != WAIT_OBJECT_0) {
    CallOff(handle, overlapped);
    return false;
  }
  return GetOverlappedResult(handle, &overlapped, &done, FALSE) != 0;
}

// Writes all of text; false when the pipe broke or the time ran out.
bool WriteAll(HANDLE pipe, const std::string &text, TClock::time_point deadline) {
  const TKvHandle event = NewEvent();
  for (std::size_t done = 0; done < text.size();) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.Get();
    DWORD written = 0;
    const BOOL started = WriteFile(pipe, text.data() + done, static_cast<DWORD>(text.size() - done),
                                   nullptr, &overlapped);
    if (!Finish(pipe, overlapped, started, written, deadline) || written == 0)
      return false;
    done += written;
  }
  return true;
}

// The security of every instance of the pipe: its owner's account alone may open it or make
// further instances; no one else, also no administrator.
class TKvUserOnly {
public:
  TKvUserOnly() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
      return;
    const TKvHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    wchar_t *sid = nullptr;
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid, &sid))
      return;
    const TKvLocalMemory<wchar_t> sidText(sid);
    // A protected list with one entry: all rights for the user.
    const std::wstring sddl = L"D:P(A;;GA;;;" + std::wstring(sidText.get()) + L")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                             &descriptor, nullptr))
      FDescriptor.reset(descriptor);
  }
  // Null when the user's account could not be found: then no pipe is made.
  SECURITY_ATTRIBUTES *Attributes() {
    if (!FDescriptor)
      return nullptr;
    FAttributes = {sizeof FAttributes, FDescriptor.get(), FALSE};
    return &FAttributes;
  }

private:
  TKvLocalMemory<void> FDescriptor;
  SECURITY_ATTRIBUTES FAttributes{};
};

class TKvPipeConnection : public IKvChannelConnection {
public:
  explicit TKvPipeConnection(TKvHandle pipe) : FPipe(std::move(pipe)), FEvent(NewEvent()) {
    StartRead();
  }
  ~TKvPipeConnection() override {
    if (FReading)
      CallOff(FPipe.Get(), FOverlapped);
    // Closed, not disconnected: what was written stays for the caller to read.
  }
  TKvWaitHandle Handle() const override { return reinterpret_cast<TKvWaitHandle>(FEvent.Get()); }
  bool Read(std::string &into) override {
    if (!FReading)
      return false;
    DWORD got = 0;
    if (!GetOverlappedResult(FPipe.Get(), &FOverlapped, &got, FALSE)) {
      if (GetLastError() == ERROR_IO_INCOMPLETE)
        return true;
      FReading = false;
      return false;
    }
    into.append(FBuffer, got);
    StartRead();
    return true;
  }
  bool Write(const std::string &text) override {
    // A short text fits the pipe's buffer: it goes at once.
    return WriteAll(FPipe.Get(), text, TClock::now() + std::chrono::seconds(1));
  }

private:
  // The next read; the event is set when it ends, also when it ends at once or fails.
  void StartRead() {
    ResetEvent(FEvent.Get());
    FOverlapped = {};
    FOverlapped.hEvent = FEvent.Get();
    FReading = ReadFile(FPipe.Get(), FBuffer, sizeof FBuffer, nullptr, &FOverlapped) ||
               GetLastError() == ERROR_IO_PENDING;
    if (!FReading)
      SetEvent(FEvent.Get());
  }

  TKvHandle FPipe;
  TKvHandle FEvent;
  OVERLAPPED FOverlapped{};
  bool FReading = false;
  char FBuffer[BufferSize];
};

class TKvPipeServer : public IKvChannelServer {
public:
  explicit TKvPipeServer(std::u16string address)
      : FAddress(std::move(address)), FEvent(NewEvent()) {}
  ~TKvPipeServer() override {
    if (FPipe && !FConnected)
      CallOff(FPipe.Get(), FOverlapped);
  }
  TKvWaitHandle Handle() const override { return reinterpret_cast<TKvWaitHandle>(FEvent.Get()); }

  // A new instance of the pipe that waits for the next caller. The first one makes sure that no
  // other process has taken the name before.
  bool Offer() {
    SECURITY_ATTRIBUTES *security = FSecurity.Attributes();
    if (!security || !FEvent)
      return false;
    FPipe = TKvHandle(CreateNamedPipeW(
        Wide(FAddress),
        PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (FFirst ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        PIPE_UNLIMITED_INSTANCES, BufferSize, BufferSize, 0, security));
    if (!FPipe)
      return false;
    FFirst = false;
    ResetEvent(FEvent.Get());
    FOverlapped = {};
    FOverlapped.hEvent = FEvent.Get();
    FConnected = false;
    if (!ConnectNamedPipe(FPipe.Get(), &FOverlapped)) {
      const DWORD error = GetLastError();
      if (error == ERROR_IO_PENDING)
        return true;
      // A caller that came between the two calls is connected already (or has even gone again:
      // its connection reads the end).
      if (error != ERROR_PIPE_CONNECTED && error != ERROR_NO_DATA) {
        FPipe.Close();
        return false;
      }
    }
    FConnected = true;
    SetEvent(FEvent.Get());
    return true;
  }

  std::unique_ptr<IKvChannelConnection> Accept() override {
    if (!FPipe)
      return nullptr;
    if (!FConnected) {
      DWORD ignored = 0;
      if (!GetOverlappedResult(FPipe.Get(), &FOverlapped, &ignored, FALSE)) {
        // A caller that went again before it was taken: the instance waits for the next one.
        if (GetLastError() != ERROR_IO_INCOMPLETE) {
          FPipe.Close();
          Offer();
        }
        return nullptr;
      }
    }
    auto connection = std::make_unique<TKvPipeConnection>(std::move(FPipe));
    Offer();
    return connection;
  }

private:
  std::u16string FAddress;
  TKvUserOnly FSecurity;
  TKvHandle FEvent;
  TKvHandle FPipe;
  OVERLAPPED FOverlapped{};
  bool FConnected = false;
  bool FFirst = true;
};

} // namespace

std::u16string ChannelAddress(const std::u16string &, const std::u16string &name) {
  return u"\\\\.\\pipe\\" + name;
}

std::unique_ptr<IKvChannelServer> ListenChannel(const std::u16string &address) {
  auto server = std::make_unique<TKvPipeServer>(address);
  if (!server->Offer())
    return nullptr;
  return server;
}

std::optional<std::string> AskChannel(const std::u16string &address, const std::string &request,
                                      int timeoutMs) {
  const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
  TKvHandle pipe;
  for (;;) {
    // The server learns who calls, but cannot act as the caller.
    pipe = TKvHandle(CreateFileW(
        Wide(address), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
        FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    if (pipe)
      break;
    // Every instance taken: one comes free when the server has taken its caller. No pipe yet:
    // the server may be starting; it is tried again a little later.
    const bool busy = GetLastError() == ERROR_PIPE_BUSY;
    if (Remaining(deadline) == 0)
      return std::nullopt;
    if (!busy || !WaitNamedPipeW(Wide(address), Remaining(deadline)))
      Sleep(20);
  }
  if (!WriteAll(pipe.Get(), request, deadline))
    return std::nullopt;
  const TKvHandle event = NewEvent();
  std::string answer;
  while (answer.find('\n') == std::string::npos) {
    char buffer[BufferSize];
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.Get();
    DWORD got = 0;
    const BOOL started = ReadFile(pipe.Get(), buffer, sizeof buffer, nullptr, &overlapped);
    if (!Finish(pipe.Get(), overlapped, started, got, deadline) || got == 0)
      return std::nullopt;
    answer.append(buffer, got);
  }
  answer.resize(answer.find('\n'));
  return answer;
}
