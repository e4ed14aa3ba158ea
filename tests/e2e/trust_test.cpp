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
#include "common/platform_crypto.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "endpoints.h"
#include "status/status_numbers.h"
#include "updatelist/list_serialisation.h"
#include "updatelist/trust_rules.h"
#include "updatelist/update_list.h"
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
  bool keyed;  // built with the publisher's "test" key
};
constexpr Book kUnsignedBook{L"TarvolinE2EBook", "90001", L"tarvolin_testbook.exe", false};
constexpr Book kSignedBook{L"TarvolinE2ESignedBook", "90002", L"tarvolin_signedbook.exe", true};

std::string Bytes(const std::string& name, std::size_t size) {
  std::string bytes;
  while (bytes.size() < size) bytes += name + std::to_string(bytes.size()) + ",";
  bytes.resize(size);
  return bytes;
}

bool ReplaceFirst(std::string& text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at == std::string::npos) return false;
  text.replace(at, from.size(), to);
  return true;
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
  std::string ConfigurationText(const std::wstring& tarvolin_extra, const std::wstring& more = L"") const {
    const std::wstring base = testing::PublisherUrl() + L"/rel";
    return WideToAnsi(L"[Tarvolin]\r\nLog=inst.log\r\nShowWhenCheck=false\r\nTempAppPath=1\r\n" + tarvolin_extra +
                      L"[UPDATEINFO]\r\nListURL=" + base + L"/tarvolin.xml\r\nMainListURL=" + base +
                      L"/main.xml\r\n[APPLICATION]\r\nApplication=reader.exe\r\nName=" + book_.name +
                      L"\r\nEBookID=" + AnsiToWide(book_.ebook_id) + L"\r\n" + more);
  }
  std::string ConfigurationPath(const char* suffix = "") const {
    return std::string("/DigitalLibrary/ajax.aspx") + suffix + "?action=GetTarvolinIni&ebookId=" + book_.ebook_id;
  }
  // The configuration as the book's server answers it; the signed book gets
  // it signed with the publisher's "test" key.
  void ServeConfiguration(const std::wstring& tarvolin_extra) {
    const std::string ini = ConfigurationText(tarvolin_extra);
    server_->Serve(ConfigurationPath(), 200, ini);
    if (book_.keyed) server_->Serve(ConfigurationPath(".sig"), 200, SignatureOf(ini, "test"));
  }
  // The signature the publisher's tool makes of `bytes` with a test key.
  static std::string SignatureOf(const std::string& bytes, const char* key) {
    EXPECT_TRUE(testing::PutPublishedFile("conf/tarvolin.ini", bytes));
    EXPECT_TRUE(testing::SignPublishedList("conf/tarvolin.ini", key));
    return testing::HttpExchange(testing::PublisherUrl(), "/conf/tarvolin.ini.sig").body;
  }
  void TearDown() override {
    e2e::ForgetAcceptedSerials();  // other suites share the prefix
    if (book_.name) DeleteTree(BookFolder());
  }

  std::wstring BookFolder() const { return e2e::BookFolderOf(book_.name); }
  std::wstring InBook(const std::wstring& name) const { return BookFolder() + L"\\" + name; }
  std::wstring Program() const { return e2e::ProgramOf(book_.program); }
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

  // The signed book with its release published, and in its folder a program
  // that a configuration's start event may name ("hook.exe", which leaves
  // "started.txt" behind).
  void StartSignedBookWithHook();

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

void TrustTest::StartSignedBookWithHook() {
  StartBook(kSignedBook, L"QuickCheck=false\r\n");
  PublishSignedRelease();
  ASSERT_TRUE(CopyFileW((testing::BuildOutputFolder() + L"\\fake_ebook.exe").c_str(), InBook(L"hook.exe").c_str(),
                        FALSE));
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


// --- the configuration (a book that carries the publisher's "test" key) ---

// The configuration names the programs a run starts. One that does not verify
// is never used: the default one built into the program stays in force.
TEST_F(TrustTest, AConfigurationThatDoesNotVerifyIsNotUsed) {
  // The forged configuration points at a release that would install, and
  // starts a program of its own first.
  const std::wstring hook = L"[UpdateEventWaitClose]\r\nUpdateStartup=hook.exe\r\n";
  struct Case {
    const char* what;
    std::function<std::optional<std::string>(const std::string& ini)> signature;  // nothing: none served
    const wchar_t* log_reason;
  } cases[] = {
      {"no signature", [](const std::string&) { return std::optional<std::string>(); }, L"could not be fetched"},
      {"signed by another key", [](const std::string& ini) { return std::optional(SignatureOf(ini, "other")); },
       L"does not verify"},
      {"signature of other bytes",
       [](const std::string& ini) { return std::optional(SignatureOf(ini + "\r\n", "test")); }, L"does not verify"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StartSignedBookWithHook();
    const std::string forged = ConfigurationText(L"QuickCheck=false\r\n", hook);
    server_->Serve(ConfigurationPath(), 200, forged);
    const std::optional<std::string> signature = c.signature(forged);
    server_->Serve(ConfigurationPath(".sig"), signature ? 200 : 404, signature.value_or(""));
    ASSERT_TRUE(testing::ResetPublisher());

    StatusHost host;
    ASSERT_TRUE(RunSilently(host).has_value());
    const std::wstring log = Log();
    EXPECT_TRUE(Contains(log, L"configuration refused, the default one stays")) << log;
    EXPECT_TRUE(Contains(log, c.log_reason)) << log;
    EXPECT_FALSE(FileExists(InBook(L"started.txt"))) << log;  // its program never ran
    EXPECT_FALSE(FileExists(InBook(L"book.dat"))) << log;
    EXPECT_TRUE(Gets("/rel/tarvolin.xml").empty());  // its list address was never asked
    // The configuration on the disk is the default one.
    wchar_t list_url[512] = {};
    GetPrivateProfileStringW(L"UPDATEINFO", L"ListURL", L"", list_url, 512, InBook(L"tarvolin.ini").c_str());
    EXPECT_TRUE(Contains(list_url, L"/DownloadV2/90002/tarvolin.xml")) << list_url;
  }

  // Signed with the book's key, the same configuration rules.
  StartSignedBookWithHook();
  const std::string signed_ini = ConfigurationText(L"QuickCheck=false\r\n", hook);
  server_->Serve(ConfigurationPath(), 200, signed_ini);
  server_->Serve(ConfigurationPath(".sig"), 200, SignatureOf(signed_ini, "test"));
  StatusHost host;
  ASSERT_TRUE(RunSilently(host).has_value());
  EXPECT_TRUE(FileExists(InBook(L"started.txt"))) << Log();
  EXPECT_EQ(Installed(L"book.dat"), kBookData) << Log();
  EXPECT_FALSE(Contains(Log(), L"configuration refused")) << Log();
}

// The book folder is the reader's to write, and so is the configuration in it.
// One planted there and held open so that the start can neither overwrite nor
// move it (as any program of the reader's can) is still never read: the run
// reads the default carried inside the program, held in memory, when the
// server's copy does not come.
TEST_F(TrustTest, AConfigurationPlantedInTheBookFolderIsNeverRead) {
  StartSignedBookWithHook();
  server_->Serve(ConfigurationPath(), 404, "");
  const std::wstring ini = InBook(L"tarvolin.ini");
  ASSERT_TRUE(WriteWholeFile(ini, ConfigurationText(L"QuickCheck=false\r\n",
                                                    L"[UpdateEventWaitClose]\r\nUpdateStartup=hook.exe\r\n")));
  HANDLE held = CreateFileW(ini.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  StatusHost host;
  const auto code = RunSilently(host);
  CloseHandle(held);
  ASSERT_TRUE(code.has_value());
  EXPECT_FALSE(FileExists(InBook(L"started.txt"))) << Log();  // its program never ran
  EXPECT_TRUE(Gets("/rel/tarvolin.xml").empty()) << Log();    // nor was its list asked for
  EXPECT_FALSE(FileExists(InBook(L"book.dat"))) << Log();
}

// Uninstall deletes what the installed list names. Outside the book folder it
// deletes only what a list that still verifies names: the update keeps the
// verified copies beside the installed list for that.
TEST_F(TrustTest, UninstallLeavesTheBookFolderOnlyWhereAVerifiedListSays) {
  const std::wstring outside = WindowsFolder() + L"\\tarvolin-e2e-outside.dat";
  struct Case {
    const char* what;
    std::function<void(const std::wstring& signed_copy)> spoil;
    bool outside_removed;
  } cases[] = {
      {"its verified copy as the update left it", [](const std::wstring&) {}, true},
      {"its verified copy changed",
       [](const std::wstring& signed_copy) {
         std::string bytes = ReadWholeFile(signed_copy).value_or("");
         ASSERT_TRUE(ReplaceFirst(bytes, "book.dat", "Book.dat"));
         ASSERT_TRUE(WriteWholeFile(signed_copy, bytes));
       },
       false},
      {"its verified copy gone", [](const std::wstring& signed_copy) { ASSERT_TRUE(DeleteFileW(signed_copy.c_str())); },
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StartBook(kSignedBook, L"QuickCheck=false\r\n");
    ASSERT_TRUE(testing::PutPublishedFile("rel/book.dat", kBookData));
    ASSERT_TRUE(testing::PutPublishedFile("rel/outside.dat", "outside the book folder"));
    ASSERT_TRUE(testing::PutPublishedFile(
        "rel/tarvolin.xml",
        "<update><file path=\"book.dat\" ver=\"1\"/>"
        "<file path=\"outside.dat\" ver=\"1\" dstname=\"{win}\\tarvolin-e2e-outside.dat\"/></update>"));
    ASSERT_TRUE(testing::FillPublishedDigests("rel/tarvolin.xml", "rel"));
    ASSERT_TRUE(testing::SignPublishedList("rel/tarvolin.xml", "test"));
    ASSERT_TRUE(testing::SignPublishedList("rel/main.xml", "test"));
    RunSilentlyToTheEnd();
    ASSERT_EQ(Installed(L"book.dat"), kBookData) << Log();
    ASSERT_TRUE(FileExists(outside)) << Log();
    c.spoil(InBook(L"tarvolin.xml.signed"));

    ASSERT_TRUE(testing::RunAndWait(Program() + L" uninstall", kTimeoutMs).has_value());

    EXPECT_FALSE(FileExists(InBook(L"book.dat")));
    EXPECT_EQ(FileExists(outside), !c.outside_removed);
    SetFileAttributesW(outside.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(outside.c_str());
    TearDown();
  }
}

// --- freshness of signed lists ---

const std::string kBookData2 = Bytes("book2-", 70000);

// A signed release whose list carries `stamp` on its root; book.dat holds `data`.
void PublishStampedRelease(const std::string& stamp, const std::string& data, const char* version) {
  ASSERT_TRUE(testing::PutPublishedFile("rel/book.dat", data));
  ASSERT_TRUE(testing::PutPublishedFile(
      "rel/tarvolin.xml", "<update " + stamp + "><file path=\"book.dat\" ver=\"" + version + "\"/></update>"));
  ASSERT_TRUE(testing::FillPublishedDigests("rel/tarvolin.xml", "rel"));
  ASSERT_TRUE(testing::SignPublishedList("rel/tarvolin.xml", "test"));
  ASSERT_TRUE(testing::PutPublishedFile("rel/main.xml", "<update book=\"!Template\"></update>"));
  ASSERT_TRUE(testing::SignPublishedList("rel/main.xml", "test"));
}

// A signature covers bytes, not time: an old list, a stale one and another
// book's one all verify, and each is refused by what its root says.
TEST_F(TrustTest, AReplayedExpiredOrForeignListIsRefusedAndTheInstalledFilesStay) {
  struct Case {
    const char* what;
    const char* stamp;
    const wchar_t* log_reason;
  } cases[] = {
      {"older serial", "serial=\"4\" book=\"90002\"", L"serial is older"},
      {"expired", "serial=\"6\" expires=\"2001-02-03\"", L"has expired"},
      {"another book's", "serial=\"6\" book=\"90001\"", L"another book's list"},
      {"template list as the book's", "serial=\"6\" book=\"!Template\"", L"another book's list"},
  };
  StartBook(kSignedBook, L"QuickCheck=false\r\n");
  PublishStampedRelease("serial=\"5\" expires=\"2999-12-31\" book=\"90002\"", kBookData, "1");
  ASSERT_NO_FATAL_FAILURE(RunSilentlyToTheEnd());
  ASSERT_EQ(Installed(L"book.dat"), kBookData) << Log();
  const std::string installed_list = Installed(L"tarvolin.xml");

  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(testing::ResetPublisher());
    PublishStampedRelease(c.stamp, kBookData2, "2");
    DeleteFileW(InBook(L"inst.log").c_str());
    StatusHost host;
    ASSERT_TRUE(RunSilently(host).has_value());
    const std::wstring log = Log();
    EXPECT_TRUE(Contains(log, c.log_reason)) << log;
    EXPECT_FALSE(IsSubsequence(host.statuses, {3})) << log;
    EXPECT_EQ(Installed(L"book.dat"), kBookData);
    EXPECT_EQ(Installed(L"tarvolin.xml"), installed_list);
    EXPECT_TRUE(Gets("/rel/book.dat").empty());
  }

  // The template list is held to its own name.
  ASSERT_TRUE(testing::ResetPublisher());
  PublishStampedRelease("serial=\"6\"", kBookData2, "2");
  ASSERT_TRUE(testing::PutPublishedFile("rel/main.xml", "<update book=\"90002\"></update>"));
  ASSERT_TRUE(testing::SignPublishedList("rel/main.xml", "test"));
  DeleteFileW(InBook(L"inst.log").c_str());
  ASSERT_NO_FATAL_FAILURE(RunSilentlyToTheEnd());
  EXPECT_TRUE(Contains(Log(), L"another book's list")) << Log();
  EXPECT_EQ(Installed(L"book.dat"), kBookData);

  // A newer serial for this book, good through a later day, installs.
  ASSERT_TRUE(testing::ResetPublisher());
  PublishStampedRelease("serial=\"6\" expires=\"2999-12-31\" book=\"90002\"", kBookData2, "2");
  ASSERT_NO_FATAL_FAILURE(RunSilentlyToTheEnd());
  EXPECT_EQ(Installed(L"book.dat"), kBookData2) << Log();
}

// --- every way in (a book that carries the publisher's "test" key) ---

TEST_F(TrustTest, AFileWithoutADigestIsNotInstalled) {
  StartBook(kSignedBook, L"QuickCheck=false\r\n");
  ASSERT_TRUE(testing::PutPublishedFile("rel/book.dat", kBookData));
  ASSERT_TRUE(testing::PutPublishedFile("rel/plain.dat", "a file the list vouches nothing for"));
  // Signed, but only book.dat's digest is in it.
  ASSERT_TRUE(testing::PutPublishedFile("rel/tarvolin.xml", "<update><file path=\"book.dat\" ver=\"1\"/></update>"));
  ASSERT_TRUE(testing::FillPublishedDigests("rel/tarvolin.xml", "rel"));
  std::string list = PublishedBytes("/rel/tarvolin.xml");
  const std::size_t end = list.find("</update>");
  ASSERT_NE(end, std::string::npos);
  list.insert(end, "<file path=\"plain.dat\" ver=\"1\"/>");
  ASSERT_TRUE(testing::PutPublishedFile("rel/tarvolin.xml", list));
  ASSERT_TRUE(testing::SignPublishedList("rel/tarvolin.xml", "test"));
  ASSERT_TRUE(testing::SignPublishedList("rel/main.xml", "test"));

  ASSERT_NO_FATAL_FAILURE(RunSilentlyToTheEnd());
  const std::wstring log = Log();
  EXPECT_FALSE(FileExists(InBook(L"plain.dat"))) << log;
  EXPECT_TRUE(Contains(log, L"digest mismatch[plain.dat] the list promises no digest")) << log;
  // The release is installed whole or not at all.
  EXPECT_FALSE(FileExists(InBook(L"book.dat"))) << log;
}

// A packed download stands for one file: what else it holds would go in
// unchecked, so it is refused whether it is unpacked at once or installed packed.
TEST_F(TrustTest, APackedFileWithTwoEntriesIsRefused) {
  const std::string packed =
      ReadWholeFile(testing::BuildOutputFolder() + L"\\packaged_books\\two_entries.zip").value_or("");
  ASSERT_FALSE(packed.empty());
  for (const wchar_t* unzip : {L"UnZip=1\r\n", L"UnZip=0\r\n"}) {
    SCOPED_TRACE(WideToAnsi(unzip));
    StartBook(kSignedBook, L"QuickCheck=false\r\n" + std::wstring(unzip));
    // The list's digest is that of the packed form's first entry.
    ASSERT_TRUE(testing::PutPublishedFile("rel/book.dat", Repeated("packed book,", 5000)));
    ASSERT_TRUE(testing::PutPublishedFile("rel/tarvolin.xml", "<update><file path=\"book.dat\" ver=\"1\"/></update>"));
    ASSERT_TRUE(testing::FillPublishedDigests("rel/tarvolin.xml", "rel"));
    ASSERT_TRUE(testing::SignPublishedList("rel/tarvolin.xml", "test"));
    ASSERT_TRUE(testing::SignPublishedList("rel/main.xml", "test"));
    ASSERT_TRUE(testing::DeletePublishedFile("rel/book.dat"));
    ASSERT_TRUE(testing::PutPublishedFile("rel/book.dat._.zip", packed));

    ASSERT_NO_FATAL_FAILURE(RunSilentlyToTheEnd());
    const std::wstring log = Log();
    EXPECT_FALSE(Gets("/rel/book.dat._.zip").empty()) << log;
    EXPECT_FALSE(FileExists(InBook(L"book.dat"))) << log;
    EXPECT_FALSE(FileExists(InBook(L"book.dat._.zip"))) << log;
    EXPECT_FALSE(FileExists(InBook(L"rider.dat"))) << log;
  }
  // Later tests publish book.dat again; its packed form must not outlive this one.
  ASSERT_TRUE(testing::DeletePublishedFile("rel/book.dat._.zip"));
}

// --- the run with administrator rights ---

// The hand-over file and the downloaded files lie where any program of the
// reader can write. The administrator run, a real process started as the
// relaunch starts it, takes nothing from them that the verified list does not
// vouch for.
TEST_F(TrustTest, TheAdministratorRunChecksItsHandOverAndEachFileAgain) {
  StartBook(kSignedBook, L"QuickCheck=false\r\n");
  const std::string blocked_data = "a file that cannot go where a folder is";
  ASSERT_TRUE(testing::PutPublishedFile("rel/book.dat", kBookData));
  ASSERT_TRUE(testing::PutPublishedFile("rel/blocked.dat", blocked_data));
  ASSERT_TRUE(testing::PutPublishedFile(
      "rel/tarvolin.xml", "<update><file path=\"book.dat\" ver=\"1\"/><file path=\"blocked.dat\" ver=\"1\"/></update>"));
  ASSERT_TRUE(testing::FillPublishedDigests("rel/tarvolin.xml", "rel"));
  ASSERT_TRUE(testing::SignPublishedList("rel/tarvolin.xml", "test"));
  ASSERT_TRUE(testing::SignPublishedList("rel/main.xml", "test"));
  // A folder where the list wants a file denies access: the run goes on as
  // administrator, whose copy then fails on that folder too.
  ASSERT_TRUE(CreateDirectoryTree(InBook(L"blocked.dat")));
  {
    StatusHost host;
    ASSERT_TRUE(RunSilently(host).has_value());
    host.PumpUntilSeen({8, 13}, kTimeoutMs);
    ASSERT_TRUE(IsSubsequence(host.statuses, {8, 9, 10, 11, 13})) << Log();
    // The verified hand-over went through: the administrator run got to copying.
    ASSERT_FALSE(Contains(Log(), L"not what the verified list says")) << Log();
  }
  ASSERT_TRUE(RemoveDirectoryW(InBook(L"blocked.dat").c_str()));

  // Where the check left its files: the download folder is the cached list's stem.
  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileW(InBook(L"*.xml.xml.signed").c_str(), &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE) << "no verified copy beside the cached list";
  FindClose(find);
  const std::wstring signed_copy = InBook(found.cFileName);
  const std::wstring stem = signed_copy.substr(0, signed_copy.size() - std::wstring(L".xml.xml.signed").size());
  const std::wstring parked = stem + L"\\book.dat_";
  ASSERT_EQ(ReadWholeFile(parked).value_or(""), kBookData);
  std::vector<updatefileinfo> listed;
  ASSERT_TRUE(LoadUpdateList(signed_copy, listed, true));
  ASSERT_EQ(listed.size(), 2u);

  std::string forged = kBookData;
  forged[100] ^= 0x01;
  const std::wstring forged_path = InBook(L"forged.tmp");
  ASSERT_TRUE(WriteWholeFile(forged_path, forged));
  const std::wstring forged_digest = HexText(*DigestOfFile(DigestKind::kSha256, forged_path));
  DeleteFileW(forged_path.c_str());

  struct Case {
    const char* what;
    std::function<void(std::vector<updatefileinfo>& records)> change;
    const std::string parked_content;
    const wchar_t* log_text;  // nothing: it installs
  } cases[] = {
      {"hand-over names another digest for a forged download",
       [&](std::vector<updatefileinfo>& records) { records[0].sha256 = forged_digest; }, forged,
       L"not what the verified list says"},
      {"hand-over adds a destination",
       [](std::vector<updatefileinfo>& records) { records[0].dstName = L"book.dat;..\\elsewhere.dat"; }, kBookData,
       L"not what the verified list says"},
      {"download changed after it was checked", [](std::vector<updatefileinfo>&) {}, forged,
       L"it is not the file its list promises"},
      {"neither changed", [](std::vector<updatefileinfo>&) {}, kBookData, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<updatefileinfo> records = listed;
    c.change(records);
    ASSERT_TRUE(WriteWholeFile(stem + L".lst", SerializeDownloadList({.status = UpdateDownloadOk, .records = records})));
    ASSERT_TRUE(WriteWholeFile(parked, c.parked_content));
    DeleteFileW(InBook(L"inst.log").c_str());
    StatusHost host;
    const auto code = testing::RunAndWaitPumping(Program() + host.SilenceArguments() + L" /___runas_admin___", kTimeoutMs);
    ASSERT_TRUE(code.has_value());
    const std::wstring log = Log();
    if (c.log_text) {
      EXPECT_TRUE(Contains(log, c.log_text)) << log;
      EXPECT_FALSE(FileExists(InBook(L"book.dat"))) << log;
      EXPECT_FALSE(FileExists(InBook(L"elsewhere.dat"))) << log;
      EXPECT_FALSE(FileExists(BookFolder() + L"\\..\\elsewhere.dat")) << log;
      EXPECT_TRUE(host.Saw(UpdateCopyError)) << log;
    } else {
      EXPECT_EQ(Installed(L"book.dat"), kBookData) << log;
      EXPECT_EQ(Installed(L"blocked.dat"), blocked_data) << log;
      EXPECT_TRUE(host.Saw(UpdateCopyOk)) << log;
    }
  }
}

}  // namespace
}  // namespace tarvolin
