#include "download/file_downloader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "common/files.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "download/internet_session.h"
#include "download/transfer_messages.h"
#include "download/transfer_registry.h"
#include "download/transfer_rules.h"
#include "status/status_protocol.h"
#include "status/status_windows.h"
#include "support/ui_automation.h"
#include "transfer_fixture.h"

namespace tarvolin::testing {
namespace {

namespace msg = transfer_messages;

using FileDownloaderTest = TransferTest;

struct Outcome {
  bool ok = false;
  long size = 0;
  int block_count = 0;
  std::wstring used_url;
  bool stopped = false;
};

// Downloads on a worker thread while this thread pumps the recorder's messages.
Outcome Download(const std::wstring& url, const std::wstring& target, int threads, bool single_stream,
                 WPARAM caller_value = 7, HWND window = nullptr) {
  Outcome outcome;
  RunPumping([&] {
    FileDownloader downloader;
    downloader.set_thread_count(threads);
    outcome.ok = downloader.DownloadFile(url, target, single_stream, caller_value, window);
    outcome.size = downloader.size();
    outcome.block_count = downloader.block_count();
    outcome.used_url = downloader.url();
    outcome.stopped = TransferRegistry::Instance().Stopped(downloader.id());
  });
  return outcome;
}

std::string Contents(const std::wstring& path) { return ReadWholeFile(path).value_or("<missing>"); }

// A closed "bytes=first-last" header; fails the test for anything else.
struct AskedRange {
  long long first = 0;
  long long last = 0;
};
AskedRange ClosedRange(const std::string& range) {
  AskedRange asked;
  const std::size_t dash = range.find('-');
  EXPECT_EQ(range.rfind("bytes=", 0), 0u) << range;
  EXPECT_TRUE(dash != std::string::npos && dash + 1 < range.size()) << "ranges must be closed: " << range;
  if (range.rfind("bytes=", 0) != 0 || dash == std::string::npos || dash + 1 >= range.size()) return asked;
  asked.first = std::stoll(range.substr(6, dash - 6));
  asked.last = std::stoll(range.substr(dash + 1));
  return asked;
}

bool HasFault(const PublisherRequest& request, const std::string& fault) {
  return std::find(request.faults.begin(), request.faults.end(), fault) != request.faults.end();
}

std::vector<PublisherRequest> Gets(const std::vector<PublisherRequest>& requests) {
  std::vector<PublisherRequest> gets;
  for (const PublisherRequest& r : requests) {
    if (r.method == "GET") gets.push_back(r);
  }
  return gets;
}

// The bytes the server sent for the file's GETs, beside the checks that make
// "every byte once" true: the 206 replies' ranges tile the file without a gap
// or an overlap once the cut requests' unsent rest is taken off.
struct WireUse {
  long long sent = 0;
  std::set<long long> connections;
};
WireUse CheckEveryByteOnce(const std::vector<PublisherRequest>& gets, long long size) {
  WireUse use;
  std::vector<std::pair<long long, long long>> pieces;  // [first, first + sent)
  for (const PublisherRequest& r : gets) {
    use.sent += r.sent;
    use.connections.insert(r.connection);
    if (r.status != 206) continue;
    AskedRange asked = ClosedRange(r.range);
    EXPECT_LE(r.sent, asked.last - asked.first + 1) << r.range;
    if (r.sent > 0) pieces.emplace_back(asked.first, asked.first + r.sent);
  }
  std::sort(pieces.begin(), pieces.end());
  long long covered = 0;
  for (auto& [first, end] : pieces) {
    EXPECT_EQ(first, covered) << "a gap or an overlap at byte " << covered;
    covered = std::max(covered, end);
  }
  EXPECT_EQ(covered, size);
  EXPECT_EQ(use.sent, size) << "every byte of the file is sent exactly once";
  return use;
}

TEST_F(FileDownloaderTest, BlocksAskForExactlyTheirBytesOnKeptAliveConnections) {
  const std::string bytes = PatternBytes(1000000, 1);
  Publish("/blocks/whole.bin", bytes);
  const BlockPlan plan = ComputeBlockPlan(1000000, 8);
  ASSERT_EQ(plan.block_count, 11) << "the file must need more blocks than threads";

  for (const std::wstring& base : {PublisherUrl(), NginxUrl()}) {
    SCOPED_TRACE(::testing::PrintToString(base));
    std::wstring target = configuration_ / L"whole.bin";
    Outcome outcome = Download(UrlOf(base, "/blocks/whole.bin"), target, 8, false);
    ASSERT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.size, 1000000);
    EXPECT_EQ(outcome.block_count, plan.block_count);
    EXPECT_TRUE(Contents(target) == bytes) << "joined file differs from the source";
    EXPECT_TRUE(NoPartFiles(target, plan.block_count));
    ::DeleteFileW(target.c_str());
  }

  // From the publisher's side: no request of its own for the size; the first
  // one asks for the first bytes of block 0 and its reply names the size.
  // Then each block asks for exactly its own bytes (block 0 for the rest of
  // its bytes), every body is sent whole, and the requests share connections
  // instead of opening one each.
  EXPECT_TRUE(RequestsBy("querysize").empty());
  const std::vector<PublisherRequest> all = PublisherLog();
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all[0].range, "bytes=0-" + std::to_string(kMinimumBlockSize - 1));
  auto blocks = RequestsBy("down");
  ASSERT_EQ(blocks.size(), static_cast<std::size_t>(plan.block_count + 1));
  std::set<std::pair<long long, long long>> asked;
  for (const PublisherRequest& r : blocks) {
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.status, 206);
    EXPECT_TRUE(r.complete()) << r.range << " was cut off: " << r.sent << " of " << r.length;
    AskedRange range = ClosedRange(r.range);
    asked.emplace(range.first, range.last);
  }
  std::set<std::pair<long long, long long>> expected{{0, kMinimumBlockSize - 1},
                                                     {kMinimumBlockSize, BlockLength(plan, 1000000, 0) - 1}};
  for (int i = 1; i < plan.block_count; ++i) {
    expected.emplace(BlockStart(plan, i), BlockStart(plan, i) + BlockLength(plan, 1000000, i) - 1);
  }
  EXPECT_EQ(asked, expected);
  WireUse use = CheckEveryByteOnce(blocks, 1000000);
  EXPECT_LE(use.connections.size(), 9u) << "at most thread count + 1 connections at once, each reused";
}

TEST_F(FileDownloaderTest, RangeIgnoringServerGivesOneStreamOnce) {
  const std::string bytes = PatternBytes(3000000, 2);
  Publish("/ranges/ignored.bin", bytes);
  ASSERT_TRUE(SetFault(R"({"path": "/ranges/ignored.bin", "fault": "ignore_range"})"));

  std::wstring target = configuration_ / L"ignored.bin";
  Outcome outcome = Download(UrlOf(PublisherUrl(), "/ranges/ignored.bin"), target, 8, false);
  ASSERT_TRUE(outcome.ok);
  EXPECT_TRUE(Contents(target) == bytes);
  EXPECT_TRUE(NoPartFiles(target, 8));

  // The first block's request is answered with the whole file, and that reply
  // is the download: no block reads the file again.
  auto gets = Gets(PublisherLog());
  ASSERT_EQ(gets.size(), 1u);
  EXPECT_EQ(gets[0].status, 200);
  EXPECT_TRUE(gets[0].complete());
}

TEST_F(FileDownloaderTest, FirstBlockReplyNamesTheSizeOrIsTheWholeFile) {
  // No HEAD: the first request asks for the first bytes of block 0. A file
  // within them takes that one request; a larger one is planned from the
  // reply's Content-Range; a 200 to it is the whole download.
  struct Case {
    const char* name;
    std::size_t size;
    bool ignore_range;
    std::size_t requests;
  } cases[] = {
      {"below one block", 30000, false, 1},
      {"exactly the first request", static_cast<std::size_t>(kMinimumBlockSize), false, 1},
      {"several blocks", 700000, false, 0},  // 0: the plan's requests, counted below
      {"ranges ignored", 700000, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(ResetPublisher());
    const std::string bytes = PatternBytes(c.size, 3);
    Publish("/first/file.bin", bytes);
    if (c.ignore_range) {
      ASSERT_TRUE(SetFault(R"({"path": "/first/file.bin", "fault": "ignore_range"})"));
    }
    std::wstring target = configuration_ / L"first.bin";
    Outcome outcome = Download(UrlOf(PublisherUrl(), "/first/file.bin"), target, 8, false);
    ASSERT_TRUE(outcome.ok);
    EXPECT_TRUE(Contents(target) == bytes);
    EXPECT_EQ(outcome.size, static_cast<long>(c.size));
    EXPECT_TRUE(NoPartFiles(target, 8));
    const std::vector<PublisherRequest> log = PublisherLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].range, "bytes=0-" + std::to_string(kMinimumBlockSize - 1));
    EXPECT_EQ(log[0].status, c.ignore_range ? 200 : 206);
    EXPECT_TRUE(RequestsBy("querysize").empty());
    if (c.requests > 0) {
      EXPECT_EQ(log.size(), c.requests);
      EXPECT_TRUE(log[0].complete());
    } else {
      EXPECT_EQ(outcome.block_count, ComputeBlockPlan(static_cast<std::int64_t>(c.size), 8).block_count);
      CheckEveryByteOnce(RequestsBy("down"), static_cast<long long>(c.size));
    }
    ::DeleteFileW(target.c_str());
  }
}

TEST_F(FileDownloaderTest, CutConnectionsResumeAtTheExactByte) {
  // Blocks of 149,504 bytes: the cut falls into block 1's request.
  struct Case {
    const char* name;
    int threads;
    long long drop_after;
    const char* range;  // of the request that is cut
  } cases[] = {
      {"blocks, cut on a piece boundary", 2, 65536, "bytes=149504-299007"},
      {"blocks, cut inside a piece", 2, 100000, "bytes=149504-299007"},
      {"one stream, cut on a piece boundary", 1, 131072, ""},
      {"one stream, cut inside a piece", 1, 100001, ""},
  };
  const long long size = 400000;
  const std::string bytes = PatternBytes(size, 4);
  Publish("/drop/file.bin", bytes);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(ResetPublisher());
    ASSERT_TRUE(SetFault(R"({"path": "/drop/file.bin", "fault": "drop_after", "times": 1, "bytes": )" +
                         std::to_string(c.drop_after) + R"(, "range": ")" + c.range + "\"}"));
    std::wstring target = configuration_ / L"file.bin";
    ProgressRecorder recorder;
    Outcome outcome = Download(UrlOf(PublisherUrl(), "/drop/file.bin"), target, c.threads, false, 3, recorder.window());
    ASSERT_TRUE(outcome.ok);
    EXPECT_TRUE(Contents(target) == bytes);
    EXPECT_FALSE(outcome.stopped) << "a cut is resumed, not a failure";

    auto gets = RequestsBy("down");
    auto cut = std::find_if(gets.begin(), gets.end(), [](auto& r) { return HasFault(r, "drop_after"); });
    ASSERT_NE(cut, gets.end());
    EXPECT_EQ(cut->sent, c.drop_after);
    const long long cut_first = cut->range.empty() ? 0 : ClosedRange(cut->range).first;
    const std::string resume_prefix = "bytes=" + std::to_string(cut_first + c.drop_after) + "-";
    auto resumed = std::find_if(cut + 1, gets.end(), [&](auto& r) { return r.range.rfind(resume_prefix, 0) == 0; });
    ASSERT_NE(resumed, gets.end()) << "expected a request from " << resume_prefix;
    if (c.threads == 1) {
      EXPECT_EQ(resumed->range, resume_prefix + std::to_string(size - 1));
      long long sent = 0;
      for (auto& r : gets) sent += r.sent;
      EXPECT_EQ(sent, size);
    } else {
      CheckEveryByteOnce(gets, size);
    }
    auto progress = recorder.Messages(msg::kDownloadProgress);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().lparam, size);
    ::DeleteFileW(target.c_str());
  }
}

TEST_F(FileDownloaderTest, GiveUpStreamFailsAtItsFirstCut) {
  const std::string bytes = PatternBytes(300000, 4);
  Publish("/drop/stream.bin", bytes);
  ASSERT_TRUE(SetFault(R"({"path": "/drop/stream.bin", "fault": "drop_after", "times": 1, "bytes": 131072})"));
  std::wstring target = configuration_ / L"stream.bin";
  ProgressRecorder recorder;
  Outcome outcome = Download(UrlOf(PublisherUrl(), "/drop/stream.bin"), target, 8, true, 3, recorder.window());
  EXPECT_FALSE(outcome.ok);
  EXPECT_FALSE(FileExists(target));
  EXPECT_TRUE(outcome.stopped) << "a failed transfer raises its stop flag";
  EXPECT_EQ(RequestsBy("down").size(), 1u);
  EXPECT_EQ(RequestsBy("querysize").size(), 0u) << "a single stream asks no size";
  auto progress = recorder.Messages(msg::kDownloadProgress);
  ASSERT_FALSE(progress.empty());
  EXPECT_GT(std::max_element(progress.begin(), progress.end(),
                             [](auto& a, auto& b) { return a.lparam < b.lparam; })->lparam, 0);
  EXPECT_EQ(progress.back().lparam, 0) << "the failed stream's bytes are taken back";
}

TEST_F(FileDownloaderTest, WrongContentRangeIsRetriedAndNeverJoined) {
  const std::string bytes = PatternBytes(600000, 14);
  Publish("/range/wrong.bin", bytes);
  ASSERT_TRUE(SetFault(R"({"path": "/range/wrong.bin", "fault": "wrong_range", "bytes": 4096, "times": 1})"));
  std::wstring target = configuration_ / L"wrong.bin";
  Outcome outcome = Download(UrlOf(PublisherUrl(), "/range/wrong.bin"), target, 8, false);
  ASSERT_TRUE(outcome.ok);
  EXPECT_TRUE(Contents(target) == bytes);
  auto gets = RequestsBy("down");
  auto wrong = std::find_if(gets.begin(), gets.end(), [](auto& r) { return HasFault(r, "wrong_range"); });
  ASSERT_NE(wrong, gets.end());
  auto again = std::find_if(wrong + 1, gets.end(), [&](auto& r) { return r.range == wrong->range; });
  EXPECT_NE(again, gets.end()) << "the block asks for its bytes again";
}

TEST_F(FileDownloaderTest, FreeConnectionsTakeOverTheTailOfASlowBlock) {
  // 4 threads: blocks of 3 MiB, so block 0 is fetched as its first 51,200
  // bytes (the request that names the size), then 1 MiB requests. Its first
  // 1 MiB request crawls; the other blocks finish long before, and their
  // connections take over block 0's untouched tail instead of idling.
  const long long size = 16 * 1024 * 1024;
  const std::string bytes = PatternBytes(static_cast<std::size_t>(size), 15);
  Publish("/tail/file.bin", bytes);
  const BlockPlan plan = ComputeBlockPlan(size, 4);
  ASSERT_EQ(plan.block_size, 3 * 1024 * 1024);
  // Only that request is slowed (2 s).
  const std::string slow = "bytes=" + std::to_string(kMinimumBlockSize) + "-" +
                           std::to_string(kMinimumBlockSize + kRequestSpan - 1);
  ASSERT_TRUE(SetFault(R"({"path": "/tail/file.bin", "fault": "rate", "rate": 524288, "times": 1, "range": ")" + slow +
                       "\"}"));

  std::wstring target = configuration_ / L"file.bin";
  Outcome outcome = Download(UrlOf(PublisherUrl(), "/tail/file.bin"), target, 4, false);
  ASSERT_TRUE(outcome.ok);
  EXPECT_TRUE(Contents(target) == bytes);
  auto gets = RequestsBy("down");
  ASSERT_EQ(std::count_if(gets.begin(), gets.end(), [](const PublisherRequest& r) { return HasFault(r, "rate"); }), 1);
  CheckEveryByteOnce(gets, size);
  // A request inside block 0 that does not start on one of its 1 MiB steps
  // can only come from a connection that split the block's tail.
  bool split = false;
  for (const PublisherRequest& r : gets) {
    AskedRange asked = ClosedRange(r.range);
    if (asked.last < plan.block_size && asked.first != 0 && (asked.first - kMinimumBlockSize) % kRequestSpan != 0)
      split = true;
  }
  EXPECT_TRUE(split) << "no connection took over part of the slow block";
}

TEST_F(FileDownloaderTest, RefusalIsFinalAtOnce) {
  // A missing file, and the packed form that a publisher does not offer: one
  // request each, no retries.
  for (const char* path : {"/absent/file.bin", "/absent/file.bin._.zip"}) {
    SCOPED_TRACE(path);
    ASSERT_TRUE(ResetPublisher());
    std::wstring target = configuration_ / L"file.bin";
    Outcome outcome = Download(UrlOf(PublisherUrl(), path), target, 8, false);
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(FileExists(target));
    auto log = PublisherLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].status, 404);
  }
}

TEST_F(FileDownloaderTest, NoAttemptsLeftMeansNoConnection) {
  Publish("/tries/file.bin", PatternBytes(200000, 5));
  // With one attempt, blocks still ask once for the size (the first block's
  // request) and then give up; nothing else reaches the server.
  struct Case {
    int try_count;
    bool single_stream;
    std::size_t requests;
  } cases[] = {{1, true, 0}, {1, false, 1}, {0, true, 0}, {0, false, 0}, {-1, false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "ConnectTryCount " << c.try_count << (c.single_stream ? " stream" : " blocks"));
    ASSERT_TRUE(ResetPublisher());
    SetConnectTryCount(c.try_count);
    std::wstring target = configuration_ / L"file.bin";
    Outcome outcome = Download(UrlOf(PublisherUrl(), "/tries/file.bin"), target, 8, c.single_stream);
    EXPECT_FALSE(outcome.ok);
    EXPECT_FALSE(FileExists(target));
    EXPECT_TRUE(NoPartFiles(target, 8));
    EXPECT_EQ(PublisherLog().size(), c.requests) << "no transfer connection may be made";
  }
}

TEST_F(FileDownloaderTest, MalformedProxyIsReportedAndFailsTheTransfer) {
  configuration_.WriteIni(L"[Tarvolin]\r\nProxy=proxy-without-port\r\n");
  Publish("/proxy/file.bin", PatternBytes(1000, 6));
  DialogAnswerer answerer(L"Error", IDOK);

  std::wstring target = configuration_ / L"file.bin";
  Outcome outcome = Download(UrlOf(PublisherUrl(), "/proxy/file.bin"), target, 8, true);
  EXPECT_FALSE(outcome.ok);
  EXPECT_FALSE(FileExists(target));
  auto seen = answerer.Seen();
  ASSERT_EQ(seen.size(), 1u) << "one box for the one attempt of a give-up stream";
  EXPECT_EQ(seen[0].text, kProxySetErrorText);
  EXPECT_TRUE(PublisherLog().empty()) << "nothing may reach the server";
}

TEST_F(FileDownloaderTest, ProgressWindowHearsSizesThreadsAndEveryBlock) {
  const long size = 1000000;
  Publish("/messages/file.bin", PatternBytes(size, 7));
  const BlockPlan plan = ComputeBlockPlan(size, 8);
  const WPARAM caller = 0x12345;

  ProgressRecorder recorder;
  RegisterStatusWindow(recorder.window());
  Outcome outcome =
      Download(UrlOf(NginxUrl(), "/messages/file.bin"), configuration_ / L"file.bin", 8, false, caller, recorder.window());
  ASSERT_TRUE(outcome.ok);

  auto sizes = recorder.Messages(msg::kDownloadSize);
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_EQ(sizes[0].lparam, size);
  auto block_sizes = recorder.Messages(msg::kDownloadBlockSize);
  ASSERT_EQ(block_sizes.size(), 1u);
  EXPECT_EQ(block_sizes[0].lparam, plan.block_size);

  auto threads = recorder.Messages(msg::kDownloadThreads);
  ASSERT_FALSE(threads.empty());
  for (std::size_t i = 0; i < threads.size(); ++i) {
    EXPECT_GE(threads[i].lparam, 0);
    EXPECT_LE(threads[i].lparam, 9) << "at most thread count + 1 blocks run at once";
    if (i > 0) {
      EXPECT_NE(threads[i].lparam, threads[i - 1].lparam) << "only changes are reported";
    }
  }
  EXPECT_EQ(threads.back().lparam, 0);

  auto progress = recorder.Messages(msg::kDownloadProgress);
  ASSERT_FALSE(progress.empty());
  for (auto& m : progress) EXPECT_LE(m.lparam, size);
  EXPECT_EQ(progress.back().lparam, size);

  std::map<int, LPARAM> block_bytes;
  for (auto& m : recorder.Messages(msg::kDownloadBlockProgress)) {
    EXPECT_EQ(m.wparam & 0xFFFF, caller & 0xFFFF);
    block_bytes[static_cast<int>(m.wparam >> 16)] = m.lparam;
  }
  ASSERT_EQ(block_bytes.size(), static_cast<std::size_t>(plan.block_count));
  for (auto& [index, bytes] : block_bytes) EXPECT_EQ(bytes, BlockLength(plan, size, index)) << "block " << index;

  for (auto& m : recorder.Messages()) {
    if (m.message != msg::kDownloadBlockProgress && m.message != status_protocol::kStatusProgressMessage) {
      EXPECT_EQ(m.wparam, caller) << "message " << m.message;
    }
  }
  auto status = recorder.Messages(status_protocol::kStatusProgressMessage);
  ASSERT_FALSE(status.empty());
  LPARAM most = 0;
  for (auto& m : status) {
    EXPECT_EQ(m.wparam, static_cast<WPARAM>(size));
    most = std::max(most, m.lparam);
  }
  EXPECT_EQ(most, size);
}

TEST_F(FileDownloaderTest, SingleStreamAnnouncesTheLengthFromTheReply) {
  const long size = 150000;
  const std::string bytes = PatternBytes(size, 8);
  Publish("/messages/stream.bin", bytes);
  ProgressRecorder recorder;
  std::wstring target = configuration_ / L"stream.bin";
  Outcome outcome = Download(UrlOf(PublisherUrl(), "/messages/stream.bin"), target, 8, true, 5, recorder.window());
  ASSERT_TRUE(outcome.ok);
  EXPECT_TRUE(Contents(target) == bytes);
  for (UINT message : {msg::kDownloadSize, msg::kDownloadBlockSize}) {
    auto seen = recorder.Messages(message);
    ASSERT_EQ(seen.size(), 1u) << message;
    EXPECT_EQ(seen[0].lparam, size);
  }
  auto threads = recorder.Messages(msg::kDownloadThreads);
  ASSERT_EQ(threads.size(), 1u);
  EXPECT_EQ(threads[0].lparam, 1);
  EXPECT_EQ(recorder.Messages(msg::kDownloadProgress).back().lparam, size);
}

TEST_F(FileDownloaderTest, MissingLengthReadsToTheEndOfTheBody) {
  const long size = 200000;
  const std::string bytes = PatternBytes(size, 9);
  Publish("/length/none.bin", bytes);
  ASSERT_TRUE(SetFault(R"({"path": "/length/none.bin", "fault": "no_length"})"));
  struct Case {
    int threads;
    bool single_stream;
  } cases[] = {{8, true}, {1, false}, {8, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.threads << " threads" << (c.single_stream ? ", single stream" : ""));
    ASSERT_TRUE(ResetPublisher());
    ASSERT_TRUE(SetFault(R"({"path": "/length/none.bin", "fault": "no_length"})"));
    std::wstring target = configuration_ / L"none.bin";
    ProgressRecorder recorder;
    Outcome outcome = Download(UrlOf(PublisherUrl(), "/length/none.bin"), target, c.threads, c.single_stream, 1,
                               recorder.window());
    ASSERT_TRUE(outcome.ok);
    EXPECT_TRUE(Contents(target) == bytes);
    auto sizes = recorder.Messages(msg::kDownloadSize);
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.back().lparam, size) << "the length is announced once known";
    if (c.threads < 2 || c.single_stream) {
      for (const PublisherRequest& r : RequestsBy("down")) EXPECT_EQ(r.range, "") << "nothing to resume without a length";
    } else {
      // No Content-Length anywhere, but the first block's Content-Range names the length.
      EXPECT_TRUE(RequestsBy("querysize").empty());
      auto gets = RequestsBy("down");
      ASSERT_FALSE(gets.empty());
      EXPECT_EQ(gets[0].range, "bytes=0-" + std::to_string(kMinimumBlockSize - 1));
      EXPECT_EQ(outcome.block_count, ComputeBlockPlan(size, 8).block_count);
    }
    ::DeleteFileW(target.c_str());
  }
}

TEST_F(FileDownloaderTest, WrongOrZeroLengthNeverYieldsAWrongFile) {
  const std::string wrong = PatternBytes(200000, 10);
  Publish("/length/wrong.bin", wrong);
  Publish("/length/empty.bin", "");
  struct Case {
    const char* name;
    const char* path;
    const char* fault;  // nullptr: none
    int threads;
    bool single_stream;
    bool ok;
    const std::string* content = nullptr;  // of a download that succeeds; nullptr: empty
  } cases[] = {
      {"longer length, stream", "/length/wrong.bin", R"({"path": "/length/wrong.bin", "fault": "wrong_length", "bytes": 5000})", 8, true, false},
      {"longer length, retrying stream", "/length/wrong.bin", R"({"path": "/length/wrong.bin", "fault": "wrong_length", "bytes": 5000})", 1, false, false},
      // The first block's body ends short of what its head said: the rest is
      // asked for again, and the file comes out whole.
      {"longer length in the first reply", "/length/wrong.bin", R"({"path": "/length/wrong.bin", "fault": "wrong_length", "bytes": 5000, "times": 1})", 8, false, true, &wrong},
      {"empty file, stream", "/length/empty.bin", nullptr, 8, true, true},
      {"empty file, blocks", "/length/empty.bin", nullptr, 8, false, false},
      {"missing file, blocks", "/length/absent.bin", nullptr, 8, false, false},
      {"not found, stream", "/length/wrong.bin", R"({"path": "/length/wrong.bin", "fault": "404"})", 8, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(ResetPublisher());
    if (c.fault) {
      ASSERT_TRUE(SetFault(c.fault));
    }
    std::wstring target = configuration_ / L"length.bin";
    ASSERT_TRUE(WriteWholeFile(target, "stale"));
    Outcome outcome = Download(UrlOf(PublisherUrl(), c.path), target, c.threads, c.single_stream);
    EXPECT_EQ(outcome.ok, c.ok);
    if (c.ok) {
      EXPECT_TRUE(Contents(target) == (c.content ? *c.content : std::string())) << "a download that succeeds is the file";
    } else {
      EXPECT_FALSE(FileExists(target)) << "a failed download leaves no target";
    }
    EXPECT_TRUE(NoPartFiles(target, 8));
  }
}

TEST_F(FileDownloaderTest, EscapedUrlReplacesOneTheServerDidNotFind) {
  const std::string bytes = PatternBytes(120000, 11);
  Publish("/escaped/a b.bin", bytes);
  ASSERT_TRUE(SetFault(R"({"path": "/escaped/a b.bin", "fault": "404", "times": 1})"));
  const std::wstring url = UrlOf(PublisherUrl(), "/escaped/a b.bin");
  std::wstring target = configuration_ / L"ab.bin";
  Outcome outcome = Download(url, target, 8, false);
  ASSERT_TRUE(outcome.ok);
  EXPECT_EQ(outcome.used_url, PercentEncodeUrl(url));
  EXPECT_NE(outcome.used_url, url);
  EXPECT_TRUE(Contents(target) == bytes);
}

TEST_F(FileDownloaderTest, QueryRemoteSizeNamesTheLengthOrMinusOne) {
  Publish("/size/file.bin", PatternBytes(12345, 12));
  Publish("/size/nolength.bin", PatternBytes(100, 12));
  ASSERT_TRUE(SetFault(R"({"path": "/size/nolength.bin", "fault": "no_length"})"));
  Publish("/size/norange.bin", PatternBytes(100, 12));
  ASSERT_TRUE(SetFault(R"({"path": "/size/norange.bin", "fault": "no_length"})"));
  ASSERT_TRUE(SetFault(R"({"path": "/size/norange.bin", "fault": "ignore_range"})"));
  struct Case {
    const char* path;
    long long size;
    std::vector<std::string> requests;  // method and range of each, in order
  } cases[] = {
      {"/size/file.bin", 12345, {"HEAD "}},
      {"/size/absent.bin", -1, {"HEAD "}},
      {"/size/nolength.bin", 100, {"HEAD ", "GET bytes=0-0"}},   // the probe's Content-Range names it
      {"/size/norange.bin", -1, {"HEAD ", "GET bytes=0-0"}},     // whole body, no length: none known
  };
  FileDownloader downloader;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(downloader.QueryRemoteSize(UrlOf(PublisherUrl(), c.path)), c.size);
  }
  std::vector<std::string> seen;
  for (const PublisherRequest& r : RequestsBy("querysize")) seen.push_back(r.method + " " + r.range);
  std::vector<std::string> expected;
  for (const Case& c : cases) expected.insert(expected.end(), c.requests.begin(), c.requests.end());
  EXPECT_EQ(seen, expected);
}

TEST_F(FileDownloaderTest, SchedulerEntryReportsZeroOrOneAndCleansUp) {
  const std::string bytes = PatternBytes(250000, 13);
  Publish("/entry/file.bin", bytes);
  std::wstring target = configuration_ / L"file.bin";
  int result = -1;
  RunPumping([&] { result = DownloadFile(UrlOf(NginxUrl(), "/entry/file.bin"), target, 0, 1, nullptr); });
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(Contents(target) == bytes);
  EXPECT_EQ(::GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);

  ASSERT_TRUE(WriteWholeFile(target, "old"));
  ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
  RunPumping([&] { result = DownloadFile(UrlOf(NginxUrl(), "/entry/absent.bin"), target, 4, 1, nullptr); });
  EXPECT_EQ(result, 1);
  EXPECT_FALSE(FileExists(target)) << "even a read-only leftover is removed";
}

TEST_F(FileDownloaderTest, EveryDownloaderHasItsOwnId) {
  FileDownloader first, second;
  EXPECT_GE(first.id(), 1);
  EXPECT_GT(second.id(), first.id());
  EXPECT_EQ(first.thread_count(), kDefaultBlockThreads);
  first.set_thread_count(-3);
  EXPECT_EQ(first.thread_count(), 1);
}

}  // namespace
}  // namespace tarvolin::testing
