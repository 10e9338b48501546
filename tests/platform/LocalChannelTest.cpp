// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LocalChannel.h"

#ifndef _WIN32
#include "support/ChildProcess.h"

#include <poll.h>
#include <sys/stat.h>
#else
#include <windows.h>
#endif
#include "support/TempFolder.h"

#include <chrono>
#include <future>
#include <random>

namespace {

// Waits up to ms for the handle of a server or connection, as an event loop would.
bool Ready(TKvWaitHandle handle, int ms) {
#ifdef _WIN32
  return WaitForSingleObject(reinterpret_cast<HANDLE>(handle), static_cast<DWORD>(ms)) ==
         WAIT_OBJECT_0;
#else
  pollfd wanted{static_cast<int>(handle), POLLIN, 0};
  return poll(&wanted, 1, ms) == 1;
#endif
}

// The next caller the server takes within a few seconds, or null.
std::unique_ptr<IKvChannelConnection> NextCaller(IKvChannelServer &server) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!Ready(server.Handle(), 100))
      continue;
    if (auto caller = server.Accept())
      return caller;
  }
  return nullptr;
}

// What the caller sends, read until it has size bytes or the connection ends.
std::string Receive(IKvChannelConnection &caller, std::size_t size) {
  std::string received;
  while (received.size() < size && Ready(caller.Handle(), 5000))
    if (!caller.Read(received))
      break;
  return received;
}

class LocalChannel : public TempFolderTest {
protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    // A name of its own per test: Windows' pipes share one name space.
    address = ChannelAddress(U(folder), u"channel-" + U(folder.filename()));
  }
  std::u16string address;
};

TEST_F(LocalChannel, ARequestLargerThanOneReadArrivesWholeAndTheAnswerEndsAtItsFirstLine) {
  const auto server = ListenChannel(address);
  ASSERT_TRUE(server);
  std::string request(100000, 'x');
  std::mt19937 random(7);
  for (char &c : request)
    c = static_cast<char>('a' + random() % 26);
  request += '\n';
  auto asked = std::async(std::launch::async, [&] { return AskChannel(address, request, 10000); });

  const auto caller = NextCaller(*server);
  ASSERT_TRUE(caller);
  EXPECT_EQ(Receive(*caller, request.size()), request);
  EXPECT_TRUE(caller->Write("answer\nmore\n"));
  EXPECT_EQ(asked.get(), std::optional<std::string>("answer"));
  // Only the caller knows it has what it wanted; the server finds its end.
  EXPECT_EQ(Receive(*caller, 1), "");
}

TEST_F(LocalChannel, ACallerWithoutAServerOrAnAnswerHearsNothingInTime) {
  EXPECT_EQ(AskChannel(address, "hello\n", 200), std::nullopt);

  const auto server = ListenChannel(address);
  ASSERT_TRUE(server);
  auto asked = std::async(std::launch::async, [&] { return AskChannel(address, "hello\n", 300); });
  const auto caller = NextCaller(*server);
  ASSERT_TRUE(caller);
  // An answer without its line end is no answer.
  caller->Write("answ");
  EXPECT_EQ(asked.get(), std::nullopt);
}

#ifndef _WIN32
TEST_F(LocalChannel, ASocketLeftByAKilledServerIsReplacedAndTheNewServerAnswers) {
  // A child process listens and ends without a word, as one killed would.
  const auto child = InChildProcess(
      [this] { return std::string(ListenChannel(address).release() ? "listening" : "failed"); });
  ASSERT_EQ(child, std::optional<std::string>("listening"));
  ASSERT_TRUE(std::filesystem::exists(std::filesystem::path(address)));

  const auto server = ListenChannel(address);
  ASSERT_TRUE(server);
  auto asked = std::async(std::launch::async, [&] { return AskChannel(address, "hi\n", 5000); });
  const auto caller = NextCaller(*server);
  ASSERT_TRUE(caller);
  EXPECT_EQ(Receive(*caller, 3), "hi\n");
  caller->Write("yes\n");
  EXPECT_EQ(asked.get(), std::optional<std::string>("yes"));
}

TEST_F(LocalChannel, ACallerOfAnotherUserIsRefusedByTheSocketsModeAndByTheServer) {
  if (geteuid() != 0)
    GTEST_SKIP() << "another user is played by root dropping its privileges";
  // The folder is open to others here, as a runtime folder never is: the socket itself must
  // keep them out.
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all |
                                           std::filesystem::perms::others_exec);
  const auto server = ListenChannel(address);
  ASSERT_TRUE(server);
  const std::filesystem::path socket(address);
  struct stat status {};
  ASSERT_EQ(lstat(socket.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);

  for (const bool openedToAll : {false, true}) {
    SCOPED_TRACE(openedToAll ? "socket opened to all" : "socket as made");
    if (openedToAll)
      std::filesystem::permissions(socket, std::filesystem::perms::all);
    auto asked = std::async(std::launch::async, [&] {
      return InChildProcess(
          [&] { return AskChannel(address, "hello\n", 1000).value_or("no answer"); },
          TChildUser::Unprivileged);
    });
    // The server takes no caller of another user; each it finds is dropped at once.
    while (asked.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
      if (Ready(server->Handle(), 50)) {
        EXPECT_FALSE(server->Accept());
      }
    }
    EXPECT_EQ(asked.get(), std::optional<std::string>("no answer"));
  }
}
#endif

} // namespace
