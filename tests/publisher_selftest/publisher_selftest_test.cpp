// The publisher that download tests rely on, checked from the Windows side: files
// come back byte for byte from both servers, ranges are honoured, every fault
// shows, the request log and POST replies work.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/publisher_client.h"

namespace tarvolin::testing {
namespace {

// Bytes whose value depends on more than the offset modulo 256, so a shifted
// range cannot pass for the right one.
std::string SampleBytes(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 16);
  }
  return bytes;
}

HttpExchangeResult Get(const std::wstring& base, const std::string& path, const std::wstring& headers = L"") {
  HttpExchangeOptions options;
  options.extra_headers = headers;
  return HttpExchange(base, path, options);
}

HttpExchangeResult Post(const std::string& path, const std::string& body) {
  HttpExchangeOptions options;
  options.method = L"POST";
  options.body = body;
  options.extra_headers = L"Content-Type: application/x-www-form-urlencoded\r\n";
  return HttpExchange(PublisherUrl(), path, options);
}

std::string Fault(const std::string& path, const std::string& kind, const std::string& more = "") {
  return "{\"path\": " + JsonQuote(path) + ", \"fault\": " + JsonQuote(kind) + more + "}";
}

class PublisherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(PublisherAvailable());
    ASSERT_TRUE(ResetPublisher()) << "the publisher at " << WideToNarrow(PublisherUrl()) << " does not answer";
  }
  static std::string WideToNarrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

  // A file larger than one read piece of either side, published under `path`.
  std::string Publish(const std::string& path, std::size_t size = 300000, unsigned seed = 1) {
    std::string bytes = SampleBytes(size, seed);
    EXPECT_TRUE(PutPublishedFile(path, bytes)) << path;
    return bytes;
  }
};

TEST_F(PublisherTest, PublishedFileComesBackIdenticalFromBothServers) {
  // A name with a space and a non-ASCII letter checks the path encoding on the way in and out.
  const std::string bytes = Publish("/self/sub dir/caf\xC3\xA9 all.bin");
  for (const std::wstring& base : {PublisherUrl(), NginxUrl()}) {
    SCOPED_TRACE(WideToNarrow(base));
    HttpExchangeResult got = Get(base, "/self/sub%20dir/caf%C3%A9%20all.bin");
    ASSERT_TRUE(got.sent) << got.send_error;
    EXPECT_EQ(got.status, 200);
    EXPECT_TRUE(got.body_ended);
    EXPECT_TRUE(got.body == bytes) << "got " << got.body.size() << " bytes of " << bytes.size();
    EXPECT_EQ(HeaderValue(got, "Content-Length"), std::to_string(bytes.size()));
  }
}

TEST_F(PublisherTest, HeadReportsTheSizeWithoutABody) {
  const std::string bytes = Publish("/self/head.bin", 123457);
  for (const std::wstring& base : {PublisherUrl(), NginxUrl()}) {
    SCOPED_TRACE(WideToNarrow(base));
    HttpExchangeOptions options;
    options.method = L"HEAD";
    HttpExchangeResult got = HttpExchange(base, "/self/head.bin", options);
    ASSERT_TRUE(got.sent) << got.send_error;
    EXPECT_EQ(got.status, 200);
    EXPECT_EQ(HeaderValue(got, "Content-Length"), std::to_string(bytes.size()));
    EXPECT_TRUE(got.body.empty());
  }
}

TEST_F(PublisherTest, RangesAnswerWithThePartAndContentRangeOnBothServers) {
  const std::size_t size = 200000;
  const std::string bytes = Publish("/self/range.bin", size, 7);
  const std::string total = "/" + std::to_string(size);
  struct Case {
    std::wstring header;
    int status;
    std::size_t first;
    std::size_t last;  // inclusive
  };
  const Case cases[] = {
      {L"Range: bytes=100-\r\n", 206, 100, size - 1},
      // The program's own spelling: no space after the colon.
      {L"Range:bytes=65537-\r\n", 206, 65537, size - 1},
      {L"Range: bytes=100-199\r\n", 206, 100, 199},
      {L"Range: bytes=0-0\r\n", 206, 0, 0},
      {L"Range: bytes=199999-\r\n", 206, size - 1, size - 1},
      {L"Range: bytes=150000-999999\r\n", 206, 150000, size - 1},
      {L"Range: bytes=-10\r\n", 206, size - 10, size - 1},
  };
  for (const std::wstring& base : {PublisherUrl(), NginxUrl()}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(WideToNarrow(base) + " " + WideToNarrow(c.header));
      HttpExchangeResult got = Get(base, "/self/range.bin", c.header);
      ASSERT_TRUE(got.sent) << got.send_error;
      EXPECT_EQ(got.status, c.status);
      EXPECT_EQ(HeaderValue(got, "Content-Range"),
                "bytes " + std::to_string(c.first) + "-" + std::to_string(c.last) + total);
      EXPECT_TRUE(got.body == bytes.substr(c.first, c.last - c.first + 1)) << "got " << got.body.size() << " bytes";
    }
    SCOPED_TRACE(WideToNarrow(base) + " beyond the end");
    HttpExchangeResult beyond = Get(base, "/self/range.bin", L"Range: bytes=200000-\r\n");
    ASSERT_TRUE(beyond.sent);
    EXPECT_EQ(beyond.status, 416);
    EXPECT_EQ(HeaderValue(beyond, "Content-Range"), "bytes */" + std::to_string(size));
  }
}

TEST_F(PublisherTest, DeletedFileIsGoneFromBothServers) {
  Publish("/self/gone.bin", 1000);
  ASSERT_TRUE(DeletePublishedFile("/self/gone.bin"));
  for (const std::wstring& base : {PublisherUrl(), NginxUrl()}) {
    EXPECT_EQ(Get(base, "/self/gone.bin").status, 404) << WideToNarrow(base);
  }
  EXPECT_FALSE(DeletePublishedFile("/self/gone.bin"));
}

TEST_F(PublisherTest, PathsOutsideTheDocumentRootAreRefused) {
  HttpExchangeOptions put;
  put.method = L"PUT";
  put.body = "escaped";
  HttpExchangeResult stored = HttpExchange(PublisherUrl(), "/__control/files/..%2F..%2Fescaped.bin", put);
  ASSERT_TRUE(stored.sent);
  EXPECT_EQ(stored.status, 400);
  EXPECT_EQ(Get(PublisherUrl(), "/..%2F..%2Fescaped.bin").status, 404);
}

TEST_F(PublisherTest, NotFoundFaultForAGivenNumberOfRequests) {
  Publish("/self/twice.bin", 5000);
  ASSERT_TRUE(SetFault(Fault("/self/twice.bin", "404", ", \"times\": 2")));
  EXPECT_EQ(Get(PublisherUrl(), "/self/twice.bin").status, 404);
  // The query does not keep a path rule from matching.
  EXPECT_EQ(Get(PublisherUrl(), "/self/twice.bin?x=1").status, 404);
  EXPECT_EQ(Get(PublisherUrl(), "/self/twice.bin").status, 200);
  // nginx on the same files never misbehaves.
  ASSERT_TRUE(SetFault(Fault("*", "404")));
  EXPECT_EQ(Get(PublisherUrl(), "/self/twice.bin").status, 404);
  EXPECT_EQ(Get(NginxUrl(), "/self/twice.bin").status, 200);
}

TEST_F(PublisherTest, ARuleWithARangeAppliesOnlyToRequestsForThatRange) {
  Publish("/self/ranged.bin", 5000);
  ASSERT_TRUE(SetFault(Fault("/self/ranged.bin", "404", ", \"times\": 1, \"range\": \"bytes=0-999\"")));
  EXPECT_EQ(Get(PublisherUrl(), "/self/ranged.bin").status, 200);
  EXPECT_EQ(Get(PublisherUrl(), "/self/ranged.bin", L"Range: bytes=1000-1999\r\n").status, 206);
  EXPECT_EQ(Get(PublisherUrl(), "/self/ranged.bin", L"Range: bytes=0-999\r\n").status, 404);
  EXPECT_EQ(Get(PublisherUrl(), "/self/ranged.bin", L"Range: bytes=0-999\r\n").status, 206) << "used up";
}

TEST_F(PublisherTest, IgnoreRangeAnswersWithTheWholeFile) {
  const std::string bytes = Publish("/self/whole.bin", 70000);
  ASSERT_TRUE(SetFault(Fault("/self/whole.bin", "ignore_range")));
  HttpExchangeResult got = Get(PublisherUrl(), "/self/whole.bin", L"Range: bytes=1000-\r\n");
  ASSERT_TRUE(got.sent);
  EXPECT_EQ(got.status, 200);
  EXPECT_FALSE(HeaderValue(got, "Content-Range").has_value());
  EXPECT_TRUE(got.body == bytes) << got.body.size();
}

TEST_F(PublisherTest, CorruptFlipsTheFirstBodyByteOfEachAffectedReply) {
  const std::string bytes = Publish("/self/damaged.bin", 70000);
  ASSERT_TRUE(SetFault(Fault("/self/damaged.bin", "corrupt", ", \"times\": 2")));
  HttpExchangeResult whole = Get(PublisherUrl(), "/self/damaged.bin");
  HttpExchangeResult part = Get(PublisherUrl(), "/self/damaged.bin", L"Range: bytes=1000-1999\r\n");
  HttpExchangeResult clean = Get(PublisherUrl(), "/self/damaged.bin");
  ASSERT_EQ(whole.body.size(), bytes.size());
  EXPECT_EQ(static_cast<unsigned char>(whole.body[0]), static_cast<unsigned char>(bytes[0] ^ 0xFF));
  EXPECT_TRUE(whole.body.substr(1) == bytes.substr(1));
  ASSERT_EQ(part.body.size(), 1000u);
  EXPECT_EQ(static_cast<unsigned char>(part.body[0]), static_cast<unsigned char>(bytes[1000] ^ 0xFF));
  EXPECT_TRUE(part.body.substr(1) == bytes.substr(1001, 999));
  EXPECT_TRUE(clean.body == bytes);
}

TEST_F(PublisherTest, RefusedHeadAndWrongRangeFaults) {
  const std::string bytes = Publish("/self/faulty.bin", 100000, 5);
  ASSERT_TRUE(SetFault(Fault("/self/faulty.bin", "refuse_head", ", \"times\": 1")));
  ASSERT_TRUE(SetFault(Fault("/self/faulty.bin", "wrong_range", ", \"bytes\": 500, \"times\": 1")));
  HttpExchangeOptions head;
  head.method = L"HEAD";
  EXPECT_EQ(HttpExchange(PublisherUrl(), "/self/faulty.bin", head).status, 405);
  EXPECT_EQ(HttpExchange(PublisherUrl(), "/self/faulty.bin", head).status, 200) << "used up";

  HttpExchangeResult moved = Get(PublisherUrl(), "/self/faulty.bin", L"Range: bytes=1000-1999\r\n");
  ASSERT_TRUE(moved.sent);
  EXPECT_EQ(moved.status, 206);
  EXPECT_EQ(HeaderValue(moved, "Content-Range"), "bytes 1500-2499/100000") << "the range moved on, and says so";
  EXPECT_TRUE(moved.body == bytes.substr(1500, 1000));
  HttpExchangeResult right = Get(PublisherUrl(), "/self/faulty.bin", L"Range: bytes=1000-1999\r\n");
  EXPECT_EQ(HeaderValue(right, "Content-Range"), "bytes 1000-1999/100000");
}

TEST_F(PublisherTest, GeneratedBodiesAreServedWithoutBeingStored) {
  // Large sizes are named, not stored: the head says so and any range comes out.
  const std::string path = "/generated/6000000000/big.bin";
  HttpExchangeOptions head;
  head.method = L"HEAD";
  HttpExchangeResult named = HttpExchange(PublisherUrl(), path, head);
  ASSERT_TRUE(named.sent);
  EXPECT_EQ(HeaderValue(named, "Content-Length"), "6000000000");
  HttpExchangeResult tail = Get(PublisherUrl(), path, L"Range: bytes=5999999990-5999999999\r\n");
  EXPECT_EQ(tail.status, 206);
  EXPECT_EQ(tail.body.size(), 10u);
  // The sequence repeats with its period, so the same offset modulo the period gives the same bytes.
  const long long period = 1048573;
  HttpExchangeResult first = Get(PublisherUrl(), path, L"Range: bytes=1000-1099\r\n");
  HttpExchangeResult later = Get(PublisherUrl(), path, L"Range: bytes=" + std::to_wstring(1000 + 3 * period) + L"-" +
                                                           std::to_wstring(1099 + 3 * period) + L"\r\n");
  EXPECT_EQ(first.body.size(), 100u);
  EXPECT_TRUE(first.body == later.body);
  HttpExchangeResult other = Get(PublisherUrl(), path, L"Range: bytes=1001-1100\r\n");
  EXPECT_FALSE(first.body == other.body);
  EXPECT_EQ(Get(PublisherUrl(), "/generated/notanumber/big.bin").status, 404);
}

TEST_F(PublisherTest, LogNamesTheConnectionAndWhetherTheBodyWentOutWhole) {
  Publish("/self/logged.bin", 20000);
  // Two whole replies, then one cut short.
  ASSERT_EQ(Get(PublisherUrl(), "/self/logged.bin").status, 200);
  ASSERT_EQ(Get(PublisherUrl(), "/self/logged.bin", L"Range: bytes=0-99\r\n").status, 206);
  ASSERT_TRUE(SetFault(Fault("/self/logged.bin", "drop_after", ", \"bytes\": 5000, \"times\": 1")));
  Get(PublisherUrl(), "/self/logged.bin");
  auto log = PublisherLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_TRUE(log[0].complete());
  EXPECT_EQ(log[0].length, 20000);
  EXPECT_TRUE(log[1].complete());
  EXPECT_EQ(log[1].length, 100);
  EXPECT_FALSE(log[2].complete()) << "a cut body is not whole";
  EXPECT_EQ(log[2].sent, 5000);
  for (const auto& entry : log) EXPECT_GT(entry.connection, 0);
}

TEST_F(PublisherTest, DropAfterCutsTheBodyOnceOrEveryTime) {
  const std::string bytes = Publish("/self/drop.bin", 100000, 3);
  ASSERT_TRUE(SetFault(Fault("/self/drop.bin", "drop_after", ", \"bytes\": 1000, \"times\": 1")));
  HttpExchangeResult cut = Get(PublisherUrl(), "/self/drop.bin");
  ASSERT_TRUE(cut.sent);
  EXPECT_EQ(HeaderValue(cut, "Content-Length"), "100000");
  EXPECT_TRUE(cut.body == bytes.substr(0, 1000)) << cut.body.size();
  HttpExchangeResult whole = Get(PublisherUrl(), "/self/drop.bin");
  EXPECT_TRUE(whole.body == bytes) << whole.body.size();

  // Every time, and counted from the start of a range's body.
  ASSERT_TRUE(SetFault(Fault("/self/drop.bin", "drop_after", ", \"bytes\": 100")));
  for (int attempt = 0; attempt < 2; ++attempt) {
    HttpExchangeResult part = Get(PublisherUrl(), "/self/drop.bin", L"Range: bytes=5000-\r\n");
    ASSERT_TRUE(part.sent);
    EXPECT_EQ(part.status, 206);
    EXPECT_TRUE(part.body == bytes.substr(5000, 100)) << part.body.size();
  }
}

TEST_F(PublisherTest, WrongAndMissingLengths) {
  const std::string bytes = Publish("/self/length.bin", 20000);
  ASSERT_TRUE(SetFault(Fault("/self/length.bin", "wrong_length", ", \"bytes\": 500, \"times\": 1")));
  HttpExchangeResult longer = Get(PublisherUrl(), "/self/length.bin");
  ASSERT_TRUE(longer.sent);
  EXPECT_EQ(HeaderValue(longer, "Content-Length"), "20500");
  EXPECT_TRUE(longer.body == bytes) << longer.body.size();

  ASSERT_TRUE(SetFault(Fault("/self/length.bin", "no_length", ", \"times\": 1")));
  HttpExchangeResult unsized = Get(PublisherUrl(), "/self/length.bin");
  ASSERT_TRUE(unsized.sent);
  EXPECT_EQ(unsized.status, 200);
  EXPECT_FALSE(HeaderValue(unsized, "Content-Length").has_value());
  EXPECT_TRUE(unsized.body_ended);
  EXPECT_TRUE(unsized.body == bytes) << unsized.body.size();
}

TEST_F(PublisherTest, StallHoldsTheBodyBackBeforeOrInTheMiddle) {
  const std::string bytes = Publish("/self/stall.bin", 50000);
  // The stall is far longer than the client's patience, so the read gives up.
  ASSERT_TRUE(SetFault(Fault("/self/stall.bin", "stall", ", \"seconds\": 20, \"bytes\": 2000, \"times\": 1")));
  HttpExchangeOptions patient_briefly;
  patient_briefly.receive_timeout_ms = 1000;
  patient_briefly.read_piece_bytes = 500;
  HttpExchangeResult got = HttpExchange(PublisherUrl(), "/self/stall.bin", patient_briefly);
  ASSERT_TRUE(got.sent) << got.send_error;
  EXPECT_EQ(got.status, 200);
  EXPECT_FALSE(got.body_ended);
  EXPECT_NE(got.read_error, 0u);
  EXPECT_TRUE(got.body == bytes.substr(0, 2000)) << got.body.size();
  // The rule was used up: the next request flows.
  EXPECT_TRUE(HttpExchange(PublisherUrl(), "/self/stall.bin", patient_briefly).body == bytes);
}

TEST_F(PublisherTest, RateLimitTricklesTheBody) {
  const std::string bytes = Publish("/self/slow.bin", 100000);
  // At 100 bytes a second the whole file would take a quarter of an hour. The
  // reader takes the first bytes, then asks how far the server has got: without
  // the limit the whole body would already be in the connection's buffers.
  ASSERT_TRUE(SetFault(Fault("/self/slow.bin", "rate", ", \"rate\": 100")));
  HttpExchangeOptions options;
  options.stop_after_bytes = 50;
  options.read_piece_bytes = 10;
  HttpExchangeResult got = HttpExchange(PublisherUrl(), "/self/slow.bin", options);
  std::vector<PublisherRequest> log = PublisherLog();
  ASSERT_TRUE(got.sent);
  EXPECT_TRUE(got.body == bytes.substr(0, 50)) << got.body.size();
  ASSERT_EQ(log.size(), 1u) << PublisherLogJson();
  EXPECT_EQ(log[0].faults, std::vector<std::string>{"rate"});
  EXPECT_GE(log[0].sent, 50);
  EXPECT_LT(log[0].sent, 5000) << "the body went out faster than the limit";
}

TEST_F(PublisherTest, MalformedFaultsAreRefused) {
  const std::string refused[] = {
      "not json",
      Fault("/self/x.bin", "explode"),
      Fault("/self/x.bin", "drop_after"),
      Fault("/self/x.bin", "stall"),
      Fault("/self/x.bin", "rate", ", \"rate\": 0"),
      "{\"fault\": \"404\"}",
  };
  for (const std::string& json : refused) EXPECT_FALSE(SetFault(json)) << json;
  EXPECT_FALSE(SetPostReply("{\"status\": 200}"));
}

TEST_F(PublisherTest, LogListsRequestsInOrderWithoutControlRequests) {
  Publish("/self/logged.bin", 3000);
  ASSERT_TRUE(ResetPublisher());
  ASSERT_TRUE(SetFault(Fault("/self/missing.bin", "404")));

  HttpExchangeOptions ranged;
  ranged.user_agent = L"LogAgent/2.1";
  ranged.extra_headers = L"Range:bytes=1024-\r\n";
  ASSERT_TRUE(HttpExchange(PublisherUrl(), "/self/logged.bin?v=3", ranged).sent);
  HttpExchangeOptions head;
  head.method = L"HEAD";
  ASSERT_TRUE(HttpExchange(PublisherUrl(), "/self/logged.bin", head).sent);
  ASSERT_TRUE(Get(PublisherUrl(), "/self/missing.bin").sent);
  ASSERT_TRUE(SetPostReply("{\"path\": \"/self/form.aspx\", \"body\": \"ok\"}"));
  ASSERT_TRUE(Post("/self/form.aspx?id=1", "a=1&b=2").sent);
  ASSERT_TRUE(Get(NginxUrl(), "/self/logged.bin").sent);  // nginx keeps no entry here

  std::vector<PublisherRequest> log = PublisherLog();
  ASSERT_EQ(log.size(), 4u) << PublisherLogJson();
  EXPECT_EQ(log[0].method, "GET");
  EXPECT_EQ(log[0].path, "/self/logged.bin?v=3");
  EXPECT_EQ(log[0].range, "bytes=1024-");
  EXPECT_EQ(log[0].user_agent, "LogAgent/2.1");
  EXPECT_EQ(log[0].status, 206);
  EXPECT_TRUE(log[0].faults.empty());
  EXPECT_EQ(log[1].method, "HEAD");
  EXPECT_EQ(log[1].range, "");
  EXPECT_EQ(log[1].user_agent, "TarvolinTest");
  EXPECT_EQ(log[1].status, 200);
  EXPECT_EQ(log[2].path, "/self/missing.bin");
  EXPECT_EQ(log[2].status, 404);
  EXPECT_EQ(log[2].faults, std::vector<std::string>{"404"});
  EXPECT_EQ(log[3].method, "POST");
  EXPECT_EQ(log[3].path, "/self/form.aspx?id=1");
  EXPECT_EQ(log[3].body, "a=1&b=2");
  EXPECT_EQ(log[3].status, 200);

  ASSERT_TRUE(ResetPublisher());
  EXPECT_TRUE(PublisherLog().empty()) << PublisherLogJson();
}

TEST_F(PublisherTest, PostRepliesByPathOrByPathAndQuery) {
  const std::string chinese = "\xE4\xB8\xAD\xE6\x96\x87";
  ASSERT_TRUE(SetPostReply("{\"path\": \"/svc/check.aspx\", \"status\": 200, \"body\": " +
                           JsonQuote("<ver>3</ver>" + chinese + "\n\"quoted\"") + "}"));
  ASSERT_TRUE(SetPostReply("{\"path\": \"/svc/q.aspx?a=1\", \"body\": \"one\"}"));
  ASSERT_TRUE(SetPostReply("{\"path\": \"/svc/broken.aspx\", \"status\": 500, \"body\": \"down\"}"));

  struct Case {
    std::string path;
    int status;
    std::string body;
  };
  const Case cases[] = {
      {"/svc/check.aspx", 200, "<ver>3</ver>" + chinese + "\n\"quoted\""},
      {"/svc/check.aspx?id=7&k=x", 200, "<ver>3</ver>" + chinese + "\n\"quoted\""},
      {"/svc/q.aspx?a=1", 200, "one"},
      {"/svc/q.aspx?a=2", 404, ""},
      {"/svc/broken.aspx", 500, "down"},
      {"/svc/unknown.aspx", 404, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    HttpExchangeResult got = Post(c.path, "x=1");
    ASSERT_TRUE(got.sent) << got.send_error;
    EXPECT_EQ(got.status, c.status);
    if (c.status != 404) {
      EXPECT_EQ(got.body, c.body);
    }
  }

  // Faults reach POST answers too, so a client's time-outs can be tried.
  ASSERT_TRUE(SetFault(Fault("/svc/check.aspx", "drop_after", ", \"bytes\": 5, \"times\": 1")));
  EXPECT_EQ(Post("/svc/check.aspx", "").body, "<ver>");
}

}  // namespace
}  // namespace tarvolin::testing
