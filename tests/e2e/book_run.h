// What the end-to-end tests share: where the test book lives, which loopback
// port its build asks for its configuration, and a host window that records
// the statuses the program announces.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "endpoints.h"
#include "status_host.h"
#include "support/http_server.h"
#include "support/process.h"
#include "support/publisher_client.h"

namespace tarvolin::e2e {

using testing::IsSubsequence;
using testing::LoopbackPort;
using testing::StatusHost;

// The folder a test book's program installs into, named after the book.
inline std::wstring BookFolderOf(const std::wstring& book) {
  return WindowsFolder().substr(0, 3) + L"Brennoak\\Vosmir\\" + book;
}
// A test book's program beside the test programs, quoted for a command line.
inline std::wstring ProgramOf(const std::wstring& file_name) {
  return L"\"" + testing::BuildOutputFolder() + L"\\" + file_name + L"\"";
}

// The test book that most suites run.
inline std::wstring BookFolder() { return BookFolderOf(L"TarvolinE2EBook"); }
inline std::wstring InBook(const std::wstring& name) { return BookFolder() + L"\\" + name; }
inline std::wstring Program() { return ProgramOf(L"tarvolin_testbook.exe"); }

// `size` bytes of text that tell one file's content from another's.
inline std::string Bytes(const std::string& name, std::size_t size) {
  std::string bytes;
  while (bytes.size() < size) bytes += name + std::to_string(bytes.size()) + ",";
  bytes.resize(size);
  return bytes;
}

// The highest list serials the books accepted live in the prefix's registry;
// each test starts from none.
inline void ForgetAcceptedSerials() { ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarvolin\\ListSerials"); }

// Empties `book_folder` and starts `server` (letting go of the one it held
// first: there is one port) as the configuration server and e-book service of
// the test book's build, with the service accepting `ebook_id`. Skips the test
// when the build does not ask one loopback port for both. The caller returns
// when the test is skipped or failed (see ServicesStarted).
inline void StartBookServices(std::unique_ptr<testing::LoopbackHttpServer>& server,
                              const std::wstring& book_folder = BookFolder(), const std::string& ebook_id = "90001") {
  auto port = LoopbackPort(endpoints::kConfigServer);
  if (!port || LoopbackPort(endpoints::kBookServer) != port)
    GTEST_SKIP() << "configuration server and e-book service of this build are not one loopback server";
  DeleteTree(book_folder);
  CreateDirectoryTree(book_folder);
  ForgetAcceptedSerials();
  server.reset();
  server = std::make_unique<testing::LoopbackHttpServer>(*port);
  ASSERT_TRUE(server->listening());
  server->Serve("/DigitalLibrary/ajax.aspx?action=CheckEbookList&ebookId=" + ebook_id, 200, "{\"result\":1}");
}

inline bool ServicesStarted() { return !::testing::Test::IsSkipped() && !::testing::Test::HasFatalFailure(); }

// Serves the test book's configuration from `server`: its lists are the
// publisher's "<folder>/tarvolin.xml" and "<folder>/main.xml", published here
// as an empty template list. `more_keys` are added to its [Tarvolin] section.
inline void ServeBookFromPublisherFolder(testing::LoopbackHttpServer& server, const std::string& folder,
                                         const std::wstring& more_keys) {
  const std::wstring base = testing::PublisherUrl() + L"/" + AnsiToWide(folder);
  const std::wstring ini = L"[Tarvolin]\r\nLog=inst.log\r\n" + more_keys +
                           L"QuickCheck=false\r\nTempAppPath=1\r\n[UPDATEINFO]\r\nListURL=" + base +
                           L"/tarvolin.xml\r\nMainListURL=" + base +
                           L"/main.xml\r\n[APPLICATION]\r\nApplication=reader.exe\r\nName=TarvolinE2EBook\r\n"
                           L"EBookID=90001\r\n";
  server.Serve("/DigitalLibrary/ajax.aspx?action=GetTarvolinIni&ebookId=90001", 200, WideToAnsi(ini));
  ASSERT_TRUE(testing::PutPublishedFile(folder + "/main.xml", "<update></update>"));
}

}  // namespace tarvolin::e2e
