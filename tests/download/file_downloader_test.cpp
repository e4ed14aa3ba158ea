#include "download/file_downloader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

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

// The start offset of an open-ended "bytes=N-" header; 0 without a header.
long RangeStart(const std::string& range) {
  if (range.empty()) return 0;
  EXPECT_EQ(range.rfind("bytes=", 0), 0u) << range;
  EXPECT_EQ(range.back(), '-') << "ranges must stay open-ended: " << range;
  return static_cast<long>(ParseDecimal(std::wstring(range.begin() + 6, range.end())));
}

bool HasFault(const PublisherRequest& request, const std::string& fault) {
  return std::find(request.faults.begin(), request.faults.end(), fault) != request.faults.end();
}

TEST_F(FileDownloaderTest, BlocksJoinIntoTheSameBytesOnBothServers) {
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

  // From the publisher's side: one size query, block 0 without a range, and
  // every other block asking once from its own start to the end of the file.
  EXPECT_EQ(RequestsBy("querysize").size(), 1u);
  std::vector<long> starts;
  for (const PublisherRequest& request : RequestsBy("down")) starts.push_back(RangeStart(request.range));
  std::sort(starts.begin(), starts.end());
  std::vector<long> expected;
  for (int i = 0; i < plan.block_count; ++i) expected.push_back(i * plan.block_size);
  EXPECT_EQ(starts, expected);
}

TEST_F(FileDownloaderTest, ServerThatIgnoresRangeStillGivesTheRightBlocks) {
  const std::string bytes = PatternBytes(300000, 2);
  Publish("/ranges/ignored.bin", bytes);
  ASSERT_TRUE(SetFault(R"({"path": "/ranges/ignored.bin", "fault": "ignore_range"})"));

  std::wstring target = configuration_ / L"ignored.bin";
  Outcome outcome = Download(UrlOf(PublisherUrl(), "/ranges/ignored.bin"), target, 8, false);
  ASSERT_TRUE(outcome.ok);
  EXPECT_TRUE(Contents(target) == bytes);
  EXPECT_TRUE(NoPartFiles(target, outcome.block_count));

  auto blocks = RequestsBy("down");
  ASSERT_EQ(blocks.size(), static_cast<std::size_t>(outcome.block_count));
  int ranged = 0;
  for (const PublisherRequest& request : blocks) {
    EXPECT_EQ(request.status, 200) << "the fault should have answered every block in full";
    if (!request.range.empty()) ++ranged;
  }
  EXPECT_EQ(ranged, outcome.block_count - 1);
}

TEST_F(FileDownloaderTest, BlockDroppedMidwayResumesFromWhatItHas) {
  // Two threads: blocks of 149,504 bytes, each longer than one read piece.
  const long size = 400000;
  const std::string bytes = PatternBytes(size, 3);
  Publish("/drop/block.bin", bytes);
  // The size query uses up one drop; the other hits whichever block asks first.
  ASSERT_TRUE(SetFault(R"({"path": "/drop/block.bin", "fault": "drop_after", "bytes": 65536, "times": 2})"));

  std::wstring target = configuration_ / L"block.bin";
  Outcome outcome = Download(UrlOf(PublisherUrl(), "/drop/block.bin"), target, 2, false);
  ASSERT_TRUE(outcome.ok);
  EXPECT_TRUE(Contents(target) == bytes);

  auto blocks = RequestsBy("down");
  auto dropped = std::find_if(blocks.begin(), blocks.end(), [](auto& r) { return HasFault(r, "drop_after"); });
  ASSERT_NE(dropped, blocks.end()) << "no block connection met the dropped connection";
  const std::string resume = "bytes=" + std::to_string(RangeStart(dropped->range) + 65536) + "-";
  auto resumed = std::find_if(dropped + 1, blocks.end(), [&](auto& r) { return r.range == resume; });
  EXPECT_NE(resumed, blocks.end()) << "expected a reconnect with Range " << resume;
  EXPECT_EQ(blocks.size(), static_cast<std::size_t>(outcome.block_count) + 1) << "exactly one reconnect";
}

TEST_F(FileDownloaderTest, DroppedStreamResumesOrFailsByTheReadRules) {
  struct Case {
    const char* name;
    int threads;
    bool single_stream;  // also: give up at the first empty read
    int drop_after;
    bool ok;
    std::vector<std::string> ranges;  // of the stream's requests, in order
  } cases[] = {
      {"drop on a piece boundary, retrying stream", 1, false, 131072, true, {"", "bytes=131072-"}},
      {"drop on a piece boundary, give-up stream", 8, true, 131072, false, {""}},
      {"drop inside a piece", 1, false, 100000, false, {""}},
  };
  const std::string bytes = PatternBytes(300000, 4);
  Publish("/drop/stream.bin", bytes);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(ResetPublisher());
    ASSERT_TRUE(SetFault(R"({"path": "/drop/stream.bin", "fault": "drop_after", "times": 1, "bytes": )" +
                         std::to_string(c.drop_after) + "}"));
    std::wstring target = configuration_ / L"stream.bin";
    ProgressRecorder recorder;
    Outcome outcome = Download(UrlOf(PublisherUrl(), "/drop/stream.bin"), target, c.threads, c.single_stream, 3,
                               recorder.window());
    EXPECT_EQ(outcome.ok, c.ok);
    std::vector<std::string> ranges;
    for (const PublisherRequest& r : RequestsBy("down")) ranges.push_back(r.range);
    EXPECT_EQ(ranges, c.ranges);
    EXPECT_EQ(RequestsBy("querysize").size(), 0u) << "a single stream asks no size";
    auto progress = recorder.Messages(msg::kDownloadProgress);
    ASSERT_FALSE(progress.empty());
    if (c.ok) {
      EXPECT_TRUE(Contents(target) == bytes);
      EXPECT_EQ(progress.back().lparam, 300000);
    } else {
      EXPECT_FALSE(FileExists(target));
      EXPECT_TRUE(outcome.stopped) << "a failed transfer raises its stop flag";
      EXPECT_GT(std::max_element(progress.begin(), progress.end(),
                                 [](auto& a, auto& b) { return a.lparam < b.lparam; })->lparam, 0);
      EXPECT_EQ(progress.back().lparam, 0) << "the failed stream's bytes are taken back";
    }
  }
}

TEST_F(FileDownloaderTest, NoAttemptsLeftMeansNoConnection) {
  Publish("/tries/file.bin", PatternBytes(200000, 5));
  struct Case {
    int try_count;
    bool single_stream;
    std::size_t size_queries;
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
    EXPECT_TRUE(RequestsBy("down").empty()) << "no transfer connection may be made";
    EXPECT_EQ(RequestsBy("querysize").size(), c.size_queries);
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
    std::wstring target = configuration_ / L"none.bin";
    ProgressRecorder recorder;
    Outcome outcome = Download(UrlOf(PublisherUrl(), "/length/none.bin"), target, c.threads, c.single_stream, 1,
                               recorder.window());
    ASSERT_TRUE(outcome.ok);
    EXPECT_TRUE(Contents(target) == bytes);
    auto sizes = recorder.Messages(msg::kDownloadSize);
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.back().lparam, size) << "what arrived is announced as the length";
    ::DeleteFileW(target.c_str());
  }
  for (const PublisherRequest& r : RequestsBy("down")) EXPECT_EQ(r.range, "") << "nothing to resume without a length";
}

TEST_F(FileDownloaderTest, WrongOrZeroLengthNeverYieldsAWrongFile) {
  Publish("/length/wrong.bin", PatternBytes(200000, 10));
  Publish("/length/empty.bin", "");
  struct Case {
    const char* name;
    const char* path;
    const char* fault;  // nullptr: none
    int threads;
    bool single_stream;
    bool ok;
  } cases[] = {
      {"longer length, stream", "/length/wrong.bin", R"({"path": "/length/wrong.bin", "fault": "wrong_length", "bytes": 5000})", 8, true, false},
      {"longer length, retrying stream", "/length/wrong.bin", R"({"path": "/length/wrong.bin", "fault": "wrong_length", "bytes": 5000})", 1, false, false},
      {"longer length in the size query", "/length/wrong.bin", R"({"path": "/length/wrong.bin", "fault": "wrong_length", "bytes": 5000, "times": 1})", 8, false, false},
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
      EXPECT_EQ(Contents(target), "");
    } else {
      EXPECT_FALSE(FileExists(target)) << "a failed download leaves no target";
    }
    EXPECT_TRUE(NoPartFiles(target, 8));
  }
}

TEST_F(FileDownloaderTest, FailedSizeQueryIsRetriedUpToTheAttemptLimit) {
  ASSERT_TRUE(SetFault(R"({"path": "/absent/file.bin", "fault": "404"})"));
  std::wstring target = configuration_ / L"file.bin";
  Outcome outcome = Download(UrlOf(PublisherUrl(), "/absent/file.bin"), target, 8, false);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(RequestsBy("querysize").size(), 3u) << "ConnectTryCount 3: three queries, no escaped form to try";
  EXPECT_TRUE(RequestsBy("down").empty());
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
  ASSERT_TRUE(SetFault(R"({"path": "/size/nolength.bin", "fault": "no_length"})"));
  Publish("/size/nolength.bin", PatternBytes(100, 12));
  struct Case {
    const char* path;
    long size;
  } cases[] = {{"/size/file.bin", 12345}, {"/size/absent.bin", -1}, {"/size/nolength.bin", -1}};
  FileDownloader downloader;
  for (const Case& c : cases) EXPECT_EQ(downloader.QueryRemoteSize(UrlOf(PublisherUrl(), c.path)), c.size) << c.path;
  for (const PublisherRequest& r : RequestsBy("querysize")) EXPECT_EQ(r.range, "");
  EXPECT_EQ(RequestsBy("querysize").size(), 3u);
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
