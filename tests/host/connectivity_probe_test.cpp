#include "host/connectivity_probe.h"

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "common/strings.h"
#include "support/http_server.h"
#include "support/publisher_client.h"

namespace tarvolin {
namespace {

TEST(ConnectivityProbe, ReachesTheTestPublisher) {
  ASSERT_TRUE(testing::PublisherAvailable());
  EXPECT_TRUE(ProbeConnection(testing::PublisherUrl() + L"/login.aspx"));
}

TEST(ConnectivityProbe, UnusedPortIsUnreachableWithinTheWait) {
  unsigned short port = 0;
  {
    testing::LoopbackHttpServer server;  // a port that was free a moment ago
    ASSERT_TRUE(server.listening());
    port = server.port();
  }
  EXPECT_FALSE(ProbeConnection(FormatWide(L"http://127.0.0.1:%u/login.aspx", port)));
}

// A loopback port that takes no more connections: it listens with the
// smallest queue, and the queue is full of connections nobody accepts, so a
// further connection attempt waits for an answer that does not come.
class SilentPort {
 public:
  SilentPort() {
    WSADATA data;
    started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(listener_, 0) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port_ = ntohs(address.sin_port);
    for (int i = 0; i < 4; ++i) {
      SOCKET client = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
      u_long non_blocking = 1;
      ::ioctlsocket(client, FIONBIO, &non_blocking);
      ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof(address));
      fillers_.push_back(client);
    }
    ::Sleep(100);
  }
  ~SilentPort() {
    for (SOCKET client : fillers_) ::closesocket(client);
    ::closesocket(listener_);
    if (started_) ::WSACleanup();
  }
  unsigned short port() const { return port_; }

 private:
  bool started_ = false;
  SOCKET listener_ = INVALID_SOCKET;
  std::vector<SOCKET> fillers_;
  unsigned short port_ = 0;
};

TEST(ConnectivityProbe, GivesUpAfterTheWaitAndTheCheckEndsOnItsOwn) {
  SilentPort silent;
  ASSERT_NE(silent.port(), 0);
  const DWORD start = ::GetTickCount();
  EXPECT_FALSE(ProbeConnection(FormatWide(L"http://127.0.0.1:%u/login.aspx", silent.port()), 300));
  const DWORD waited = ::GetTickCount() - start;
  // It cannot have been refused: the check was still waiting, this was the time-out.
  EXPECT_GE(waited, 280u);
  // The abandoned check keeps its share of the state and writes its result
  // there whenever it ends.
}

}  // namespace
}  // namespace tarvolin
