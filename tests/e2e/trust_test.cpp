// Verified files and signed lists through the real program, against the test
// publisher, whose signing tool writes the digests and signatures: a file that
// is not what its list promises never reaches the book, and a book that
// carries a signing key installs nothing from a list it cannot verify.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "endpoints.h"
#include "book_run.h"
#include "status_host.h"
#include "support/http_server.h"
#include "support/process.h"
#include "support/publisher_client.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

using testing::IsSubsequence;
using testing::LoopbackPort;
using testing::StatusHost;

constexpr DWORD kTimeoutMs = 300000;

struct Book {
  const wchar_t* name;
  const char* ebook_id;
  const wchar_t* program;
};
constexpr Book kUnsignedBook{L"TarvolinE2EBook", "90001", L"tarvolin_testbook.exe"};
constexpr Book kSignedBook{L"TarvolinE2ESignedBook", "90002", L"tarvolin_signedbook.exe"};

std::string Bytes(const std::string& name, std::size_t size) {
  std::string bytes;
  while (bytes.size() < size) bytes += name + std::to_string(bytes.size()) + ",";
  bytes.resize(size);
  return bytes;
}

std::string Repeated(const std::string& line, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += line;
  return text;
}

// The configuration server points the book at the publisher's "rel" folder;
// the e-book service accepts its lists.
class TrustTest : public ::testing::Test {
 protected:
  void StartBook(const Book& book, const std::wstring& tarvolin_extra = L"") {
    book_ = book;
    e2e::StartBookServices(server_, BookFolder(), book.ebook_id);
    if (!e2e::ServicesStarted()) return;
    ASSERT_TRUE(testing::PublisherAvailable());
    ASSERT_TRUE(testing::ResetPublisher());
    ServeConfiguration(tarvolin_extra);
    ASSERT_TRUE(testing::PutPublishedFile("rel/main.xml", "<update></update>"));
  }
  void ServeConfiguration(const std::wstring& tarvolin_extra) {
    const std::wstring base = testing::PublisherUrl() + L"/rel";
    const std::wstring ini = L"[Tarvolin]\r\nLog=inst.log\r\nShowWhenCheck=false\r\nTempAppPath=1\r\n" + tarvolin_extra +
                             L"[UPDATEINFO]\r\nListURL=" + base + L"/tarvolin.xml\r\nMainListURL=" + base +
                             L"/main.xml\r\n[APPLICATION]\r\nApplication=reader.exe\r\nName=" + book_.name +
                             L"\r\nEBookID=" + AnsiToWide(book_.ebook_id) + L"\r\n";
    server_->Serve(std::string("/DigitalLibrary/ajax.aspx?action=GetTarvolinIni&ebookId=") + book_.ebook_id, 200,
                   WideToAnsi(ini));
  }
  void TearDown() override {
    if (book_.name) DeleteTree(BookFolder());
  }

  std::wstring BookFolder() const { return WindowsFolder().substr(0, 3) + L"Brennoak\\Vosmir\\" + book_.name; }
  std::wstring InBook(const std::wstring& name) const { return BookFolder() + L"\\" + name; }
  std::wstring Program() const { return L"\"" + testing::BuildOutputFolder() + L"\\" + book_.program + L"\""; }
  std::optional<DWORD> RunSilently(StatusHost& host) {
    return testing::RunAndWaitPumping(Program() + host.SilenceArguments(), kTimeoutMs);
  }
  // A run whose statuses do not matter, only that it ended.
  void RunSilentlyToTheEnd() {
    StatusHost host;
    ASSERT_TRUE(RunSilently(host).has_value());
  }
  std::optional<DWORD> RunCheckOnly() { return testing::RunAndWait(Program(), kTimeoutMs); }
  std::string Installed(const std::wstring& name) { return ReadWholeFile(InBook(name)).value_or("<missing>"); }
  std::wstring Log() { return testing::ReadTextFile(InBook(L"inst.log")); }
  // The successful GETs of one published path, in the order they came.
  std::vector<testing::PublisherRequest> Gets(const std::string& path) {
    std::vector<testing::PublisherRequest> gets;
    for (const auto& request : testing::PublisherLog())
      if (request.method == "GET" && request.path == path && request.status >= 200 && request.status < 300)
        gets.push_back(request);
    return gets;
  }

  Book book_{};
  std::unique_ptr<testing::LoopbackHttpServer> server_;
};

// --- per-file digests (a book without a signing key) ---

const std::string kRelease1Data = Bytes("data1-", 120000);
const std::string kMd5File = Repeated("md5 checked file, release 1\n", 1000);
// Worked out apart from the program (Python's hashlib).
constexpr char kMd5FileDigest[] = "09456925aa7cb5e4a53c7690133675d9";

void PublishRelease1() {
  ASSERT_TRUE(testing::PutPublishedFile("rel/data.dat", kRelease1Data));
  // Outside the folder the signing tool reads, so that only its md5 text speaks for it.
  ASSERT_TRUE(testing::PutPublishedFile("rel/other/notes.txt", kMd5File));
  ASSERT_TRUE(testing::PutPublishedFile(
      "rel/tarvolin.xml",
      "<update><file path=\"data.dat\" ver=\"1\"/>"
      "<file path=\"notes.txt\" url=\"" + WideToAnsi(testing::PublisherUrl()) + "/rel/other/notes.txt\" md5=\"" +
          kMd5FileDigest + "\"/></update>"));
  ASSERT_TRUE(testing::FillPublishedDigests("rel/tarvolin.xml", "rel"));
}

TEST_F(TrustTest, FilesDamagedInTransitAreFetchedAgainAndInstalledOnlyWhenWhole) {
  StartBook(kUnsignedBook, L"QuickCheck=false\r\n");
  PublishRelease1();
  // The first transfer of each file arrives with a flipped byte.
  ASSERT_TRUE(testing::SetFault("{\"path\": \"/rel/data.dat\", \"fault\": \"corrupt\", \"times\": 1}"));
  ASSERT_TRUE(testing::SetFault("{\"path\": \"/rel/other/notes.txt\", \"fault\": \"corrupt\", \"times\": 1}"));

  StatusHost host;
  auto code = RunSilently(host);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 2u) << Log();
  EXPECT_TRUE(IsSubsequence(host.statuses, {3, 4, 5, 4, 6, 9, 12, 13})) << Log();
  EXPECT_EQ(Installed(L"data.dat"), kRelease1Data);
  EXPECT_EQ(Installed(L"notes.txt"), kMd5File);
  const std::wstring log = Log();
  EXPECT_TRUE(Contains(log, L"digest mismatch[data.dat] sha256")) << log;
  EXPECT_TRUE(Contains(log, L"digest mismatch[notes.txt] md5")) << log;
  // The retry pass fetched each file again.
  for (const char* path : {"/rel/data.dat", "/rel/other/notes.txt"}) {
    auto gets = Gets(path);
    ASSERT_GE(gets.size(), 2u) << path;
    EXPECT_EQ(gets.front().faults, std::vector<std::string>{"corrupt"}) << path;
    EXPECT_TRUE(gets.back().faults.empty()) << path;
  }
}

TEST_F(TrustTest, AFileChangedOnTheServerAfterItsDigestIsNeverInstalled) {
  StartBook(kUnsignedBook, L"QuickCheck=false\r\n");
  PublishRelease1();
  ASSERT_NO_FATAL_FAILURE(RunSilentlyToTheEnd());
  ASSERT_EQ(Installed(L"data.dat"), kRelease1Data) << Log();
  const std::string installed_list = Installed(L"tarvolin.xml");

  // Release 2: the list promises one content, the server holds another of the same size.
  ASSERT_TRUE(testing::ResetPublisher());
  const std::string promised = Bytes("data2-", 120000);
  ASSERT_TRUE(testing::PutPublishedFile("rel/data.dat", promised));
  ASSERT_TRUE(testing::PutPublishedFile("rel/tarvolin.xml", "<update><file path=\"data.dat\" ver=\"2\"/></update>"));
  ASSERT_TRUE(testing::FillPublishedDigests("rel/tarvolin.xml", "rel"));
  std::string altered = promised;
  altered[60000] ^= 0x20;
  ASSERT_TRUE(testing::PutPublishedFile("rel/data.dat", altered));
  DeleteFileW(InBook(L"inst.log").c_str());

  StatusHost host;
  auto code = RunSilently(host);
  ASSERT_TRUE(code.has_value());
  EXPECT_TRUE(IsSubsequence(host.statuses, {3, 4, 5})) << Log();
  EXPECT_FALSE(IsSubsequence(host.statuses, {6})) << Log();
  EXPECT_EQ(Installed(L"data.dat"), kRelease1Data);  // byte for byte
  EXPECT_EQ(Installed(L"tarvolin.xml"), installed_list);
  EXPECT_TRUE(Contains(Log(), L"digest mismatch[data.dat] sha256")) << Log();
  EXPECT_GE(Gets("/rel/data.dat").size(), 2u);  // every retry pass tried again
}

// --- signed lists (a book that carries the publisher's "test" key) ---

constexpr char kReleaseList[] =
    "<update><description>Signed release</description>"
    "<file path=\"book.dat\" ver=\"1\"/><file path=\"setup.xml\" ver=\"1\" oper=\"run\"/></update>";
const std::string kBookData = Bytes("book-", 70000);

void PublishSignedRelease() {
  ASSERT_TRUE(testing::PutPublishedFile("rel/book.dat", kBookData));
  ASSERT_TRUE(testing::PutPublishedFile(
      "rel/setup.xml", "<tasks><ini file=\"{app}settings.ini\" app=\"View\" key=\"Color\" value=\"blue\"/></tasks>"));
  ASSERT_TRUE(testing::PutPublishedFile("rel/tarvolin.xml", kReleaseList));
  ASSERT_TRUE(testing::FillPublishedDigests("rel/tarvolin.xml", "rel"));
  ASSERT_TRUE(testing::SignPublishedList("rel/tarvolin.xml", "test"));
  ASSERT_TRUE(testing::SignPublishedList("rel/main.xml", "test"));
}

std::string PublishedBytes(const std::string& path) {
  return testing::HttpExchange(testing::PublisherUrl(), path).body;
}

TEST_F(TrustTest, ASignedListInstalls) {
  StartBook(kSignedBook, L"QuickCheck=false\r\n");
  PublishSignedRelease();
  StatusHost host;
  auto code = RunSilently(host);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 2u) << Log();
  EXPECT_TRUE(IsSubsequence(host.statuses, {1, 3, 4, 6, 9, 12, 13})) << Log();
  EXPECT_EQ(Installed(L"book.dat"), kBookData);
  wchar_t color[32] = {};
  GetPrivateProfileStringW(L"View", L"Color", L"", color, 32, InBook(L"settings.ini").c_str());
  EXPECT_STREQ(color, L"blue") << Log();
}

TEST_F(TrustTest, AListThatDoesNotVerifyIsAListThatCouldNotBeFetched) {
  struct Case {
    const char* what;
    std::function<bool()> spoil;
    const wchar_t* log_reason;
  } cases[] = {
      {"list changed after signing",
       [] { return testing::PutPublishedFile("rel/tarvolin.xml", std::string(kReleaseList) + " "); },
       L"does not verify"},
      {"signature missing", [] { return testing::DeletePublishedFile("rel/tarvolin.xml.sig"); },
       L"could not be fetched"},
      {"signed by another key", [] { return testing::SignPublishedList("rel/tarvolin.xml", "other"); },
       L"does not verify"},
      {"signature truncated",
       [] {
         const std::string signature = PublishedBytes("/rel/tarvolin.xml.sig");
         return signature.size() == 64 && testing::PutPublishedFile("rel/tarvolin.xml.sig", signature.substr(0, 63));
       },
       L"does not verify"},
      {"signature is garbage",
       [] { return testing::PutPublishedFile("rel/tarvolin.xml.sig", std::string(64, 'x')); }, L"does not verify"},
      {"template list unsigned", [] { return testing::DeletePublishedFile("rel/main.xml.sig"); },
       L"could not be fetched"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StartBook(kSignedBook, L"QuickCheck=false\r\n");
    PublishSignedRelease();
    ASSERT_TRUE(c.spoil());
    StatusHost host;
    auto code = RunSilently(host);
    ASSERT_TRUE(code.has_value());
    const std::wstring log = Log();
    EXPECT_TRUE(IsSubsequence(host.statuses, {1, 2})) << log;
    EXPECT_FALSE(IsSubsequence(host.statuses, {3})) << log;
    EXPECT_FALSE(IsSubsequence(host.statuses, {4})) << log;
    EXPECT_TRUE(Contains(log, L"list refused")) << log;
    EXPECT_TRUE(Contains(log, c.log_reason)) << log;
    EXPECT_FALSE(FileExists(InBook(L"book.dat")));
    EXPECT_FALSE(FileExists(InBook(L"settings.ini")));  // no task ran
    EXPECT_FALSE(FileExists(InBook(L"tarvolin.xml")));
    EXPECT_TRUE(Gets("/rel/book.dat").empty());
  }
}

// Quick checks read the list of the last check from the book's folder; with a
// key, only what still verifies counts.
TEST_F(TrustTest, TheCachedListIsReusedOnlyWhileItsSignatureVerifies) {
  StartBook(kSignedBook, L"QuickCheck=false\r\n");
  PublishSignedRelease();
  ASSERT_NO_FATAL_FAILURE(RunSilentlyToTheEnd());
  ASSERT_EQ(Installed(L"book.dat"), kBookData) << Log();
  // The book forgets it has the release, so the cached list has one file due.
  testing::WriteTextFile(InBook(L"tarvolin.xml"), L"<update><file path=\"setup.xml\" ver=\"1\"/></update>");

  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileW(InBook(L"*.xml.xml.signed").c_str(), &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE) << "no verified copy beside the cached list";
  FindClose(find);
  const std::wstring signed_copy = InBook(found.cFileName);
  const std::wstring cached = signed_copy.substr(0, signed_copy.size() - std::wstring(L".signed").size());

  ServeConfiguration(L"Mode=checkforupdates\r\nQuickCheck=1\r\n");
  ASSERT_TRUE(testing::ResetPublisher());
  auto due = RunCheckOnly();
  ASSERT_TRUE(due.has_value());
  EXPECT_EQ(*due, 1u) << Log();
  EXPECT_TRUE(testing::PublisherLog().empty());  // a quick check fetches nothing

  // Whatever is written into the cached list itself, the verified copy decides.
  ASSERT_TRUE(WriteWholeFile(cached, "<update><file path=\"a.dat\" ver=\"1\"/><file path=\"b.dat\" ver=\"1\"/></update>"));
  due = RunCheckOnly();
  ASSERT_TRUE(due.has_value());
  EXPECT_EQ(*due, 1u) << Log();

  // A verified copy changed on the disk is not the publisher's any more.
  std::string copy = ReadWholeFile(signed_copy).value_or("");
  ASSERT_FALSE(copy.empty());
  const std::size_t version = copy.find("ver=\"1\"");
  ASSERT_NE(version, std::string::npos);
  copy[version + 5] = '7';
  ASSERT_TRUE(WriteWholeFile(signed_copy, copy));
  due = RunCheckOnly();
  ASSERT_TRUE(due.has_value());
  EXPECT_EQ(*due, 0u) << Log();
  EXPECT_TRUE(Contains(Log(), L"cached list not reused")) << Log();
}

}  // namespace
}  // namespace tarvolin
