#include "download/short_requests.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include "common/strings.h"
#include "transfer_fixture.h"

namespace tarvolin::testing {
namespace {

using ShortRequestTest = TransferTest;

// A loopback port that takes connections into its queue but never answers.
class SilentListener {
 public:
  SilentListener() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0 && ::listen(socket_, 8) == 0) {
      port_ = ntohs(address.sin_port);
    }
  }
  ~SilentListener() {
    Close();
    ::WSACleanup();
  }
  void Close() {
    if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
    socket_ = INVALID_SOCKET;
  }
  unsigned short port() const { return port_; }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  unsigned short port_ = 0;
};

TEST_F(ShortRequestTest, FetchUrlReadsTheWholeBody) {
  const std::string bytes = PatternBytes(300001, 21);  // several pieces and a short tail
  Publish("/fetch/list.xml", bytes);
  for (const std::wstring& base : {PublisherUrl(), NginxUrl()}) {
    std::string body;
    ASSERT_TRUE(FetchUrl(UrlOf(base, "/fetch/list.xml"), body)) << ::testing::PrintToString(base);
    EXPECT_TRUE(body == bytes) << "got " << body.size() << " bytes";
  }
  auto requests = RequestsBy("MyDownload");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].range, "");
}

TEST_F(ShortRequestTest, FetchUrlSurvivesAStreamThatArrivesInDribbles) {
  const std::string bytes = PatternBytes(5000, 22);
  Publish("/fetch/slow.txt", bytes);
  ASSERT_TRUE(SetFault(R"({"path": "/fetch/slow.txt", "fault": "rate", "rate": 20000})"));
  std::string body;
  ASSERT_TRUE(FetchUrl(UrlOf(PublisherUrl(), "/fetch/slow.txt"), body));
  EXPECT_TRUE(body == bytes) << "got " << body.size() << " of " << bytes.size() << " bytes";
}

TEST_F(ShortRequestTest, FetchUrlRefusesErrorPagesAndBrokenBodies) {
  Publish("/fetch/cut.bin", PatternBytes(200000, 23));
  ASSERT_TRUE(SetFault(R"({"path": "/fetch/cut.bin", "fault": "drop_after", "bytes": 70000})"));
  MemorySink sink;
  EXPECT_FALSE(FetchUrl(UrlOf(PublisherUrl(), "/fetch/absent.xml"), sink));
  EXPECT_EQ(sink.Length(), 0) << "an error page is not handed to the sink";
  std::string body;
  EXPECT_FALSE(FetchUrl(UrlOf(PublisherUrl(), "/fetch/cut.bin"), body));
  EXPECT_FALSE(FetchUrl(L"http://127.0.0.1:1/nothing", body));
}

TEST_F(ShortRequestTest, PostUrlReturnsTheConfiguredReplyAsText) {
  ASSERT_TRUE(SetPostReply(R"({"path": "/post/answer.aspx", "status": 200, "body": "ok \u00e9\u4e66"})"));
  std::wstring response = L"previous";
  EXPECT_EQ(PostUrl(UrlOf(PublisherUrl(), "/post/answer.aspx?id=12&mode=a"), response), kPostOk);
  EXPECT_EQ(response, L"ok \u00e9\u4e66");

  auto log = PublisherLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].method, "POST");
  EXPECT_EQ(log[0].path, "/post/answer.aspx?id=12&mode=a") << "parameters travel in the query";
  EXPECT_EQ(log[0].body, "");
}

TEST(PostResultTest, OnlyTheTimeOutErrorCountsAsTimedOut) {
  EXPECT_EQ(PostResultForInternetError(12002), kPostTimedOut);
  for (unsigned long error : {12029ul, 12030ul, 12007ul, 0ul}) EXPECT_EQ(PostResultForInternetError(error), kPostFailed);
}

TEST_F(ShortRequestTest, PostUrlFailsCleanlyWithoutAUsableServer) {
  std::wstring response = L"previous";
  EXPECT_EQ(PostUrl(L"ftp://127.0.0.1/file", response), kPostFailed);
  EXPECT_EQ(response, L"") << "the response is emptied first";
  EXPECT_EQ(PostUrl(L"not a url", response), kPostFailed);

  SilentListener closed;
  unsigned short closed_port = closed.port();
  ASSERT_NE(closed_port, 0);
  closed.Close();
  EXPECT_EQ(PostUrl(FormatWide(L"http://127.0.0.1:%u/x", closed_port), response), kPostFailed);

  // A server that accepts and never answers: the time-outs end the wait.
  // (Windows reports the time-out itself; Wine reports it as an aborted
  // connection, so either failure code is accepted here.)
  SilentListener silent;
  ASSERT_NE(silent.port(), 0);
  response = L"previous";
  int silent_result = PostUrl(FormatWide(L"http://127.0.0.1:%u/x", silent.port()), response);
  EXPECT_TRUE(silent_result == kPostTimedOut || silent_result == kPostFailed) << silent_result;
  EXPECT_EQ(response, L"");
}

}  // namespace
}  // namespace tarvolin::testing
