// The scheduler against the test publisher: real transfers, real faults.
#include "pipeline/scheduler.h"

#include <objbase.h>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <thread>

#include "common/files.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "config/settings.h"
#include "download/transfer_messages.h"
#include "pipeline/download_list.h"
#include "status/update_status.h"
#include "support/configuration_fixture.h"
#include "support/process.h"
#include "support/publisher_client.h"
#include "updatelist/list_cache_name.h"
#include "updatelist/list_url.h"

namespace tarvolin {
namespace {

using testing::PublisherLog;
using testing::PublisherUrl;
using testing::PutPublishedFile;

std::string Content(const std::string& name, std::size_t size) {
  std::string bytes;
  while (bytes.size() < size) bytes += name + ":" + std::to_string(bytes.size()) + ";";
  bytes.resize(size);
  return bytes;
}

updatefileinfo FileRecord(const std::wstring& path, const std::wstring& version = L"1") {
  updatefileinfo record;
  record.path = path;
  record.version = version;
  return record;
}

// The next pass retries the failed files of the last one; a pass over an empty
// list leaves none to retry.
void ForgetFailedFiles() {
  CurrentDownLoadList().SetRecords({});
  DownloadAll(nullptr);
  ASSERT_EQ(FailedDownloadCount(), 0);
}

// A configuration folder that is also the temporary folder, a list address on
// the publisher, and the log in the configuration folder.
class SchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(PublisherUrl().empty()) << "TARVOLIN_PUBLISHER_URL is not set; run through ctest";
    ASSERT_TRUE(testing::ResetPublisher());
    folder_.WriteIni(L"[Tarvolin]\r\nTempAppPath=1\r\nLog=inst.log\r\n[UPDATEINFO]\r\nListURL=" + PublisherUrl() +
                     L"/rel/tarvolin.xml\r\n");
    SetListUrlBase(PublisherUrl() + L"/rel/tarvolin.xml");
    // Each test starts with a full pass: no failure of an earlier test is retried.
    ForgetFailedFiles();
    SetStatus(UpdateCheckRemoteOk, nullptr);
  }
  void TearDown() override {
    ForgetFailedFiles();
    CurrentDownLoadList().SetRecords({});
    SetStatus(UpdateNone, nullptr);
  }
  std::wstring Parked(const std::wstring& path) { return DownloadFolder() + L"\\" + path + L"_"; }
  std::string ParkedBytes(const std::wstring& path) { return ReadWholeFile(Parked(path)).value_or("<missing>"); }
  std::wstring Log() { return testing::ReadTextFile(folder_ / L"inst.log"); }
  std::multiset<std::string> RequestedPaths() {
    std::multiset<std::string> paths;
    for (const auto& request : PublisherLog()) paths.insert(request.path);
    return paths;
  }

  testing::ScopedConfigurationFolder folder_;
};

TEST_F(SchedulerTest, FailedFilesAreRetriedAloneInTheNextPass) {
  std::vector<updatefileinfo> records;
  for (int i = 0; i < 10; ++i) {
    std::wstring path = FormatWide(L"files\\f%d.bin", i);
    records.push_back(FileRecord(path));
    if (i == 3 || i == 7) continue;  // not published: these fail
    std::string published = WideToUtf8(L"rel/" + ReplaceAll(path, L"\\", L"/"));
    ASSERT_TRUE(PutPublishedFile(published, Content("f" + std::to_string(i), 3000 + static_cast<std::size_t>(i))));
  }
  CurrentDownLoadList().SetRecords(records);

  DownloadAll(nullptr);
  EXPECT_EQ(CurrentStatus(), UpdateDownloadError);
  EXPECT_EQ(FailedDownloadCount(), 2);
  EXPECT_TRUE(Contains(Log(), L"]Error 2 files,complete 8/10\r\n")) << Log();
  EXPECT_EQ(ParkedBytes(L"files\\f0.bin"), Content("f0", 3000));
  EXPECT_FALSE(FileExists(Parked(L"files\\f3.bin")));
  EXPECT_FALSE(FileExists(DownloadFolder() + L"\\files\\f3.bin"));  // nothing of a failed file remains

  ASSERT_TRUE(PutPublishedFile("rel/files/f3.bin", Content("f3", 3003)));
  ASSERT_TRUE(PutPublishedFile("rel/files/f7.bin", Content("f7", 3007)));
  ASSERT_TRUE(testing::ResetPublisher());
  DownloadAll(nullptr);
  EXPECT_EQ(CurrentStatus(), UpdateDownloadOk);
  EXPECT_EQ(FailedDownloadCount(), 0);
  EXPECT_TRUE(Contains(Log(), L"]Download completed 10/10.\r\n")) << Log();
  EXPECT_EQ(ParkedBytes(L"files\\f7.bin"), Content("f7", 3007));
  for (const auto& path : RequestedPaths())
    EXPECT_TRUE(Contains(Utf8ToWide(path), L"/f3.bin") || Contains(Utf8ToWide(path), L"/f7.bin")) << path;
}

TEST_F(SchedulerTest, ASmallFileIsOneRequestAfterThePackedFormsProbe) {
  // 12 files below one block, two at a time with two threads each: each file
  // costs the packed form's 404 and one request that is its whole download.
  RunParameters().Set(L"threadcount", L"2");
  RunParameters().Set(L"filethread", L"2");
  std::vector<updatefileinfo> records;
  for (int i = 0; i < 12; ++i) {
    std::wstring path = FormatWide(L"small\\s%d.bin", i);
    records.push_back(FileRecord(path));
    ASSERT_TRUE(PutPublishedFile(WideToUtf8(L"rel/" + ReplaceAll(path, L"\\", L"/")),
                                 Content("s" + std::to_string(i), 2000 + 1000 * static_cast<std::size_t>(i))));
  }
  CurrentDownLoadList().SetRecords(records);

  DownloadAll(nullptr);
  ASSERT_EQ(CurrentStatus(), UpdateDownloadOk);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(ParkedBytes(FormatWide(L"small\\s%d.bin", i)),
              Content("s" + std::to_string(i), 2000 + 1000 * static_cast<std::size_t>(i)));
  }

  std::map<std::string, std::vector<testing::PublisherRequest>> by_file;
  for (const auto& request : PublisherLog()) {
    std::string file = request.path;
    if (file.size() > 6 && file.compare(file.size() - 6, 6, "._.zip") == 0) file.resize(file.size() - 6);
    by_file[file].push_back(request);
  }
  ASSERT_EQ(by_file.size(), 12u);
  for (const auto& [file, requests] : by_file) {
    SCOPED_TRACE(file);
    ASSERT_EQ(requests.size(), 2u) << "the packed form's probe, then one request for the file";
    EXPECT_EQ(requests[0].path, file + "._.zip");
    EXPECT_EQ(requests[0].status, 404);
    EXPECT_EQ(requests[1].path, file);
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_EQ(requests[1].status, 206);
    EXPECT_TRUE(requests[1].complete());
  }
}

TEST_F(SchedulerTest, ARangeIgnoringServersFirstReplyIsTheWholeFile) {
  const std::string bytes = Content("whole", 300000);
  ASSERT_TRUE(PutPublishedFile("rel/whole.bin", bytes));
  ASSERT_TRUE(testing::SetFault(R"({"path": "/rel/whole.bin", "fault": "ignore_range"})"));
  CurrentDownLoadList().SetRecords({FileRecord(L"whole.bin")});

  DownloadAll(nullptr);
  ASSERT_EQ(CurrentStatus(), UpdateDownloadOk);
  EXPECT_TRUE(ParkedBytes(L"whole.bin") == bytes);
  std::vector<testing::PublisherRequest> plain;
  for (const auto& request : PublisherLog()) {
    if (request.path == "/rel/whole.bin") plain.push_back(request);
  }
  ASSERT_EQ(plain.size(), 1u) << "the 200 to the first block's request is the download";
  EXPECT_EQ(plain[0].status, 200);
  EXPECT_TRUE(plain[0].complete());
}

TEST_F(SchedulerTest, PackedFormFirstThenPlain) {
  ASSERT_TRUE(PutPublishedFile("rel/plain.bin", Content("plain", 5000)));
  auto packed = ReadWholeFile(testing::BuildOutputFolder() + L"\\scheduler_fixtures\\packed.zip");
  ASSERT_TRUE(packed.has_value());
  ASSERT_TRUE(PutPublishedFile("rel/packed.bin._.zip", *packed));
  ASSERT_TRUE(PutPublishedFile("rel/broken.bin._.zip", "PK this does not unpack"));
  ASSERT_TRUE(PutPublishedFile("rel/broken.bin", Content("broken-plain", 4000)));
  CurrentDownLoadList().SetRecords({FileRecord(L"plain.bin"), FileRecord(L"packed.bin"), FileRecord(L"broken.bin")});

  DownloadAll(nullptr);
  EXPECT_EQ(CurrentStatus(), UpdateDownloadOk);
  EXPECT_EQ(ParkedBytes(L"plain.bin"), Content("plain", 5000));
  std::string unpacked;
  for (int i = 0; i < 1000; ++i) unpacked += "unpacked content ";
  EXPECT_EQ(ParkedBytes(L"packed.bin"), unpacked);
  EXPECT_FALSE(FileExists(DownloadFolder() + L"\\packed.bin._.zip"));
  EXPECT_EQ(ParkedBytes(L"broken.bin"), Content("broken-plain", 4000));

  auto broken = CurrentDownLoadList().Record(2);
  ASSERT_TRUE(broken.has_value());
  EXPECT_TRUE(Contains(broken->spare, L"unzip error[")) << broken->spare;
  auto plain = CurrentDownLoadList().Record(0);
  EXPECT_TRUE(Contains(plain->spare, L"error[" + PublisherUrl() + L"/rel/plain.bin._.zip]")) << plain->spare;

  auto requests = RequestedPaths();
  EXPECT_EQ(requests.count("/rel/packed.bin"), 0u);  // the packed form sufficed
  EXPECT_GE(requests.count("/rel/plain.bin"), 1u);
}

TEST_F(SchedulerTest, ParkedFileIsReusedOnlyForTheSameRelease) {
  ASSERT_TRUE(PutPublishedFile("rel/book.dat", Content("v1", 6000)));
  CurrentDownLoadList().SetRecords({FileRecord(L"book.dat", L"1")});
  DownloadAll(nullptr);
  ASSERT_EQ(ParkedBytes(L"book.dat"), Content("v1", 6000));

  // Same record again: no traffic at all.
  ASSERT_TRUE(testing::ResetPublisher());
  ASSERT_TRUE(PutPublishedFile("rel/book.dat", Content("v2", 7000)));
  DownloadAll(nullptr);
  EXPECT_EQ(CurrentStatus(), UpdateDownloadOk);
  EXPECT_TRUE(PublisherLog().empty());
  EXPECT_EQ(ParkedBytes(L"book.dat"), Content("v1", 6000));

  // A newer release of the same file: the parked older one must not be installed.
  CurrentDownLoadList().SetRecords({FileRecord(L"book.dat", L"2")});
  DownloadAll(nullptr);
  EXPECT_EQ(CurrentStatus(), UpdateDownloadOk);
  EXPECT_EQ(ParkedBytes(L"book.dat"), Content("v2", 7000));
}

// Digests worked out apart from the program (Python's hashlib).
constexpr wchar_t kUnpackedSha256[] = L"8314dc4b00fc8eb5b1f715968568775139fe0666d6d1f41eff3cae07489d10fd";
constexpr wchar_t kV1Sha256[] = L"75fac83f3b5ea9c246bc560eed750d29a2a273a9889640352d24e9cc54a6ca5d";

updatefileinfo DigestRecord(const std::wstring& path, const std::wstring& sha256) {
  updatefileinfo record = FileRecord(path);
  record.sha256 = sha256;
  return record;
}

TEST_F(SchedulerTest, PackedFormsAreCheckedByWhatTheyHold) {
  auto packed = ReadWholeFile(testing::BuildOutputFolder() + L"\\scheduler_fixtures\\packed.zip");
  ASSERT_TRUE(packed.has_value());
  ASSERT_TRUE(PutPublishedFile("rel/good.bin._.zip", *packed));
  ASSERT_TRUE(PutPublishedFile("rel/bad.bin._.zip", *packed));
  const std::wstring wrong(64, L'0');
  for (const wchar_t* unzip : {L"1", L"0"}) {
    SCOPED_TRACE(unzip);
    WriteSetting(sections::kTarvolin, L"UnZip", unzip);
    DeleteFileW(Parked(L"good.bin").c_str());
    DeleteFileW((DownloadFolder() + L"\\good.bin._.zip").c_str());
    SetStatus(UpdateCheckRemoteOk, nullptr);
    CurrentDownLoadList().SetRecords({DigestRecord(L"good.bin", kUnpackedSha256), DigestRecord(L"bad.bin", wrong)});

    DownloadAll(nullptr);
    EXPECT_EQ(CurrentStatus(), UpdateDownloadError);
    EXPECT_EQ(FailedDownloadCount(), 1);
    EXPECT_TRUE(Contains(Log(), L"digest mismatch[bad.bin] sha256")) << Log();
    EXPECT_FALSE(FileExists(Parked(L"bad.bin")));
    EXPECT_FALSE(FileExists(DownloadFolder() + L"\\bad.bin._.zip"));
    EXPECT_FALSE(FileExists(DownloadFolder() + L"\\bad.bin"));
    const bool kept_packed = std::wstring(unzip) == L"0";
    EXPECT_EQ(FileExists(DownloadFolder() + L"\\good.bin._.zip"), kept_packed);
    EXPECT_EQ(FileExists(Parked(L"good.bin")), !kept_packed);
    ForgetFailedFiles();
  }
}

TEST_F(SchedulerTest, AParkedFileDamagedSinceIsFetchedAgain) {
  ASSERT_TRUE(PutPublishedFile("rel/book.dat", Content("v1", 6000)));
  CurrentDownLoadList().SetRecords({DigestRecord(L"book.dat", kV1Sha256)});
  DownloadAll(nullptr);
  ASSERT_EQ(ParkedBytes(L"book.dat"), Content("v1", 6000));

  std::string damaged = Content("v1", 6000);
  damaged[100] ^= 1;
  ASSERT_TRUE(WriteWholeFile(Parked(L"book.dat"), damaged));
  ASSERT_TRUE(testing::ResetPublisher());
  DownloadAll(nullptr);
  EXPECT_EQ(CurrentStatus(), UpdateDownloadOk);
  EXPECT_FALSE(PublisherLog().empty());
  EXPECT_EQ(ParkedBytes(L"book.dat"), Content("v1", 6000));
}

TEST_F(SchedulerTest, RecordsWithoutFilesCountAsDone) {
  updatefileinfo removed = FileRecord(L"old.dat");
  removed.action = ActionDelete;
  updatefileinfo description = FileRecord(L"news");
  description.action = DescriptionRecord;
  CurrentDownLoadList().SetRecords({removed, description});
  DownloadAll(nullptr);
  EXPECT_EQ(CurrentStatus(), UpdateDownloadOk);
  EXPECT_TRUE(PublisherLog().empty());
}

// Records every file-state message the scheduler sends to its window.
struct StateRecorder {
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == transfer_messages::kDownloadFileState) {
      auto* seen = reinterpret_cast<std::map<int, std::vector<LPARAM>>*>(GetWindowLongPtrW(window, GWLP_USERDATA));
      (*seen)[static_cast<int>(wparam)].push_back(lparam);
      return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }
};

TEST_F(SchedulerTest, ProgressWindowSeesEveryFileStartAndEnd) {
  ASSERT_TRUE(PutPublishedFile("rel/w0.bin", Content("w0", 200000)));
  ASSERT_TRUE(PutPublishedFile("rel/w1.bin", Content("w1", 1000)));
  CurrentDownLoadList().SetRecords({FileRecord(L"w0.bin"), FileRecord(L"missing.bin"), FileRecord(L"w1.bin")});

  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &StateRecorder::Proc;
  window_class.lpszClassName = L"SchedulerStateRecorder";
  window_class.hInstance = GetModuleHandleW(nullptr);
  RegisterClassW(&window_class);
  HWND window = CreateWindowW(L"SchedulerStateRecorder", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  std::map<int, std::vector<LPARAM>> seen;
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&seen));

  std::atomic<bool> finished{false};
  std::thread worker([&] {
    DownloadAll(window);
    finished = true;
    PostMessageW(window, WM_NULL, 0, 0);
  });
  MSG message;
  while (!finished && GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  worker.join();
  DestroyWindow(window);

  EXPECT_EQ(seen[0], (std::vector<LPARAM>{transfer_messages::kFileStarted, transfer_messages::kFileDone}));
  EXPECT_EQ(seen[1], (std::vector<LPARAM>{transfer_messages::kFileStarted, transfer_messages::kFileFailed}));
  EXPECT_EQ(seen[2], (std::vector<LPARAM>{transfer_messages::kFileStarted, transfer_messages::kFileDone}));
}

}  // namespace
}  // namespace tarvolin
