// The real program started with no mode word, as a reader starts it: the
// e-book host window opens, the machine codes are logged, and with no
// reading page loading the watchdog asks after 30 seconds.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>

#include "common/files.h"
#include "common/strings.h"
#include "support/process.h"
#include "support/temp_folder.h"
#include "support/ui_automation.h"
#include "book_run.h"

namespace tarvolin {
namespace {

using testing::DialogAnswerer;
using testing::ReadTextFile;

std::wstring WindowBookFolder() { return e2e::BookFolderOf(L"TarvolinWindowBook"); }

HWND WaitForWindow(const wchar_t* class_name, const wchar_t* title, DWORD timeout_ms) {
  for (DWORD waited = 0; waited < timeout_ms; waited += 100) {
    if (HWND found = ::FindWindowW(class_name, title)) return found;
    ::Sleep(100);
  }
  return nullptr;
}

TEST(HostWindowStart, PlainStartOpensTheHostWindowAndTheWatchdogEndsIt) {
  DeleteTree(WindowBookFolder());
  DialogAnswerer no(L"WindowBook(CODE:1)", IDNO);

  std::wstring command = e2e::ProgramOf(L"tarvolin_windowbook.exe");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
  ::CloseHandle(process.hThread);

  HWND window = WaitForWindow(L"brennoak_Install_MainClass", L"WindowBook", 60000);
  EXPECT_NE(window, nullptr) << "the host window carries the application's name without .exe";
  if (window) {
    // It opens maximised once the dialog manager has shown it.
    for (int i = 0; i < 50 && !::IsZoomed(window); ++i) ::Sleep(100);
    EXPECT_TRUE(::IsZoomed(window));
    EXPECT_EQ(::GetPropW(window, L"downloadStatus"), nullptr) << "queued, not updating: the page never loaded";
  }

  // No page can load here: after 30 s the watchdog asks, and No ends the program.
  EXPECT_TRUE(no.WaitForFirst(60000));
  EXPECT_EQ(::WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  ::CloseHandle(process.hProcess);

  std::wstring log = ReadTextFile(WindowBookFolder() + L"\\inst.log");
  std::wsmatch ids;
  EXPECT_TRUE(std::regex_search(log, ids, std::wregex(LR"(\[([0-9A-Z]{9})\][^\[\r\n]*\[([0-9A-Z]{9})\])")))
      << "the log names both machine codes (its texts are in the ANSI code page, so only the codes are matched)";
  DeleteTree(WindowBookFolder());
}

}  // namespace
}  // namespace tarvolin
