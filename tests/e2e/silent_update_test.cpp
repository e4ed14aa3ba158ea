// A whole update without a window, through the real program: a host starts
// "silence" with its window, the publisher holds the release, and afterwards
// the book folder holds the new files, the tasks' work, the installed list and
// the backups, and the host has seen every status.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "common/files.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "endpoints.h"
#include "support/folder_snapshot.h"
#include "support/http_server.h"
#include "support/process.h"
#include "support/publisher_client.h"
#include "support/temp_folder.h"
#include "status_host.h"
#include "updatelist/update_list.h"
#include "book_run.h"

namespace tarvolin {
namespace {

using namespace e2e;

constexpr DWORD kTimeoutMs = 300000;

using testing::IsSubsequence;
using testing::LoopbackPort;
using testing::StatusHost;

class SilentUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartBookServices(server_);
    if (!ServicesStarted()) return;
    ASSERT_TRUE(testing::PublisherAvailable());
    ASSERT_TRUE(testing::ResetPublisher());
    ServeBookFromPublisherFolder(*server_, "rel", L"ShowWhenCheck=false\r\n");
  }
  void TearDown() override { DeleteTree(BookFolder()); }

  std::optional<DWORD> RunSilently(StatusHost& host) {
    return testing::RunAndWaitPumping(Program() + host.SilenceArguments(), kTimeoutMs);
  }
  std::string Installed(const std::wstring& name) { return ReadWholeFile(InBook(name)).value_or("<missing>"); }
  std::wstring Log() { return testing::ReadTextFile(InBook(L"inst.log")); }
  std::vector<std::string> Downloads() {
    std::vector<std::string> paths;
    for (const auto& request : testing::PublisherLog())
      if (request.status >= 200 && request.status < 300 && request.path.find(".xml") == std::string::npos)
        paths.push_back(request.path);
    return paths;
  }

  // The book folder as the reader sees it: without the log and without the
  // download cache, which this configuration keeps in the book folder too.
  std::map<std::wstring, std::string> BookSnapshot() {
    auto snapshot = testing::FolderSnapshot(BookFolder(), L"inst.log");
    constexpr std::wstring_view kParkedRecord = L".parked";  // beside the download folder, named as it is
    std::wstring cache;
    for (const auto& [name, bytes] : snapshot) {
      if (name.ends_with(kParkedRecord)) cache = name.substr(0, name.size() - kParkedRecord.size());
    }
    if (!cache.empty()) std::erase_if(snapshot, [&](const auto& entry) { return StartsWith(entry.first, cache); });
    return snapshot;
  }

  std::unique_ptr<testing::LoopbackHttpServer> server_;
};

TEST_F(SilentUpdateTest, FirstReleaseThenIncrementalUpdateThenNothingDue) {
  // Release 1: a book file with a shortcut, data, a task script the list runs once
  // it is installed, and a file to retire later.
  ASSERT_TRUE(testing::PutPublishedFile("rel/reader/book.dat", Bytes("book1-", 90000)));
  ASSERT_TRUE(testing::PutPublishedFile("rel/data/pages.dat", Bytes("pages1-", 300000)));
  ASSERT_TRUE(testing::PutPublishedFile("rel/old.txt", "retired soon"));
  ASSERT_TRUE(testing::PutPublishedFile(
      "rel/setup.xml", "<tasks><ini file=\"{app}settings.ini\" app=\"View\" key=\"Color\" value=\"blue\"/></tasks>"));
  ASSERT_TRUE(testing::PutPublishedFile(
      "rel/tarvolin.xml",
      "<update><description>First release</description>"
      "<file path=\"reader\\book.dat\" ver=\"1\" shortcut=\"links\\Read Book\"/>"
      "<file path=\"data\\pages.dat\" ver=\"1\"/><file path=\"old.txt\" ver=\"1\"/>"
      "<file path=\"setup.xml\" ver=\"1\" oper=\"run\"/></update>"));

  {
    StatusHost host;
    auto code = RunSilently(host);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 4u) << Log();  // the number of files this run brought
    EXPECT_TRUE(IsSubsequence(host.statuses, {1, 3, 4, 6, 7, 9, 10, 12, 13})) << Log();
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(GetPropW(host.window(), L"tarvolin.exe")), 13u);
  }
  EXPECT_EQ(Installed(L"reader\\book.dat"), Bytes("book1-", 90000));
  EXPECT_EQ(Installed(L"data\\pages.dat"), Bytes("pages1-", 300000));
  EXPECT_EQ(Installed(L"old.txt"), "retired soon");
  wchar_t color[32] = {};
  GetPrivateProfileStringW(L"View", L"Color", L"", color, 32, InBook(L"settings.ini").c_str());
  EXPECT_STREQ(color, L"blue") << Log();
  EXPECT_TRUE(FileExists(InBook(L"links\\Read Book.lnk"))) << Log();
  {
    ::CoInitialize(nullptr);
    std::vector<updatefileinfo> installed;
    EXPECT_TRUE(LoadUpdateList(InBook(L"tarvolin.xml"), installed, false));
    int files = 0;
    for (const auto& record : installed) files += record.action != DescriptionRecord && record.action != TaskRecord;
    EXPECT_EQ(files, 4);
    ::CoUninitialize();
  }

  // Release 2: one file changes, one is retired; only the changed one travels.
  ASSERT_TRUE(testing::ResetPublisher());
  ASSERT_TRUE(testing::PutPublishedFile("rel/data/pages.dat", Bytes("pages2-", 250000)));
  ASSERT_TRUE(testing::PutPublishedFile(
      "rel/tarvolin.xml",
      "<update><file path=\"reader\\book.dat\" ver=\"1\" shortcut=\"links\\Read Book\"/>"
      "<file path=\"data\\pages.dat\" ver=\"2\"/><file path=\"old.txt\" ver=\"2\" oper=\"del\"/>"
      "<file path=\"setup.xml\" ver=\"1\"/></update>"));
  {
    StatusHost host;
    auto code = RunSilently(host);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 2u) << Log();
    EXPECT_TRUE(IsSubsequence(host.statuses, {1, 3, 4, 6, 7, 9, 10, 12, 13})) << Log();
  }
  for (const auto& path : Downloads()) EXPECT_EQ(path, "/rel/data/pages.dat");  // size query and blocks
  EXPECT_FALSE(Downloads().empty());
  EXPECT_EQ(Installed(L"data\\pages.dat"), Bytes("pages2-", 250000));
  EXPECT_EQ(Installed(L"reader\\book.dat"), Bytes("book1-", 90000));
  EXPECT_FALSE(FileExists(InBook(L"old.txt")));

  // Nothing due: the run only checks.
  ASSERT_TRUE(testing::ResetPublisher());
  {
    StatusHost host;
    auto code = RunSilently(host);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0u) << Log();  // nothing due
    EXPECT_TRUE(IsSubsequence(host.statuses, {1, 3, 13})) << Log();
    EXPECT_FALSE(IsSubsequence(host.statuses, {4})) << Log();
  }
  EXPECT_TRUE(Downloads().empty());
}

// A release whose last file cannot go in (a file of the reader's stands where
// its folder should be; the locked-file check does not see that coming): the
// host is told the copy failed, the book folder is the first release byte for
// byte, and once the way is clear the next run installs the release without
// fetching its files again.
TEST_F(SilentUpdateTest, AReleaseThatCannotGoInLeavesThePreviousOneWhole) {
  ASSERT_TRUE(testing::PutPublishedFile("rel/reader/book.dat", Bytes("book1-", 90000)));
  ASSERT_TRUE(testing::PutPublishedFile("rel/data/pages.dat", Bytes("pages1-", 300000)));
  ASSERT_TRUE(testing::PutPublishedFile(
      "rel/tarvolin.xml", "<update><file path=\"reader\\book.dat\" ver=\"1\"/><file path=\"data\\pages.dat\" ver=\"1\"/></update>"));
  {
    StatusHost host;
    ASSERT_EQ(RunSilently(host), std::optional<DWORD>(2)) << Log();
  }
  ASSERT_TRUE(testing::ResetPublisher());
  ASSERT_TRUE(testing::PutPublishedFile("rel/reader/book.dat", Bytes("book2-", 80000)));
  ASSERT_TRUE(testing::PutPublishedFile("rel/data/pages.dat", Bytes("pages2-", 310000)));
  ASSERT_TRUE(testing::PutPublishedFile("rel/data/new.dat", Bytes("new2-", 5000)));
  ASSERT_TRUE(testing::PutPublishedFile("rel/zz/last.dat", "last"));
  ASSERT_TRUE(testing::PutPublishedFile(
      "rel/tarvolin.xml",
      "<update><file path=\"reader\\book.dat\" ver=\"2\"/><file path=\"data\\pages.dat\" ver=\"2\"/>"
      "<file path=\"data\\new.dat\" ver=\"2\"/><file path=\"zz\\last.dat\" ver=\"2\"/></update>"));
  ASSERT_TRUE(WriteWholeFile(InBook(L"zz"), "the reader's"));
  const auto first_release = BookSnapshot();
  {
    StatusHost host;
    RunSilently(host);
    EXPECT_TRUE(IsSubsequence(host.statuses, {9, 10, 11})) << Log();
    EXPECT_FALSE(IsSubsequence(host.statuses, {12})) << Log();
  }
  EXPECT_EQ(BookSnapshot(), first_release);
  const std::wstring log = Log();
  for (const wchar_t* put_back : {L"reader\\book.dat", L"data\\pages.dat"}) {
    EXPECT_NE(log.find(L"Restore file[" + InBook(put_back) + L"]"), std::wstring::npos) << put_back << "\n" << log;
  }
  EXPECT_NE(log.find(L"Remove file[" + InBook(L"data\\new.dat") + L"]"), std::wstring::npos) << log;

  ASSERT_TRUE(::DeleteFileW(InBook(L"zz").c_str()));
  ASSERT_TRUE(testing::ResetPublisher());
  {
    StatusHost host;
    EXPECT_EQ(RunSilently(host), std::optional<DWORD>(4)) << Log();
    EXPECT_TRUE(IsSubsequence(host.statuses, {9, 10, 12, 13})) << Log();
  }
  EXPECT_TRUE(Downloads().empty());  // every file stayed parked
  EXPECT_EQ(Installed(L"reader\\book.dat"), Bytes("book2-", 80000));
  EXPECT_EQ(Installed(L"data\\pages.dat"), Bytes("pages2-", 310000));
  EXPECT_EQ(Installed(L"data\\new.dat"), Bytes("new2-", 5000));
  EXPECT_EQ(Installed(L"zz\\last.dat"), "last");
}

}  // namespace
}  // namespace tarvolin
