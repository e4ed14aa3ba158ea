// Opens one window of the program in a state a reader meets, for the
// screenshots of scripts/show-window. Where Wine lacks the part that brings
// the state about (the reading page that reports its load, the publisher's
// answer to a check), this program plays that part; the windows are the
// program's own.
// Usage: show_windows failed | restored | tray | dotnet URL | prompt | prompt-version
#include <windows.h>

#include <string>

#include "app/run_modes.h"
#include "common/files.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "config/settings.h"
#include "pipeline/download_list.h"
#include "status/status_protocol.h"
#include "status/update_status.h"
#include "ui/dotnet_download_dialog.h"
#include "ui/most_simple_window.h"
#include "ui/updater_icon_window.h"
#include "updatelist/remote_version.h"

namespace tarvolin {
namespace {

constexpr wchar_t kBookName[] = L"ShowBook";

// A configuration folder of its own, whose list address answers nothing.
void UseShowConfiguration() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"tarvolin-show\\";
  CreateDirectoryTree(folder);
  SetConfigurationFolder(folder);
  const std::string ini = WideToUtf8(std::wstring(L"[Tarvolin]\r\nTempAppPath=1\r\nCheckTmSpan=5\r\n"
                                                  L"[UPDATEINFO]\r\nListURL=http://127.0.0.1:9/tarvolin.xml\r\n"
                                                  L"[APPLICATION]\r\nName=") +
                                     kBookName + L"\r\nApplication=ShowBook.exe\r\nEBookID=4711\r\n");
  WriteWholeFile(folder + L"tarvolin.ini", ini);
}

// The host window, told by its page what a reader's clicks there would tell it.
CDlgMostSimple* g_host_window = nullptr;

void SendPageCommand(UINT_PTR timer, const wchar_t* command) {
  ::KillTimer(nullptr, timer);
  if (g_host_window && g_host_window->hwnd()) g_host_window->HandleHostCommand(command);
}
void CALLBACK ReportPageLoaded(HWND, UINT, UINT_PTR id, DWORD) { SendPageCommand(id, L"about:blank?Type=loadComplete"); }
void CALLBACK RestoreFromThePage(HWND, UINT, UINT_PTR id, DWORD) {
  SendPageCommand(id, L"about:blank?Type=restoreWindows");
}

// The host window whose page reports its load: the update runs, cannot reach
// the publisher, and fails; the window stays, its tip as the failure left it.
// The page then restores it, so that the taskbar and its tray show.
int ShowFailedUpdate() {
  HostWindowTimings timings;
  timings.queue_ms = 500;
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, {}, timings);
  g_host_window = &window;
  ::SetTimer(nullptr, 0, 2000, &ReportPageLoaded);
  ::SetTimer(nullptr, 0, 9000, &RestoreFromThePage);
  window.Run();
  g_host_window = nullptr;
  return 0;
}

// The host window restored by its page's button: caption-less, resizable.
int ShowRestored() {
  CDlgMostSimple window(CDlgMostSimple::kModeUpdate, nullptr, {}, HostWindowTimings{});
  g_host_window = &window;
  ::SetTimer(nullptr, 0, 2000, &RestoreFromThePage);
  window.Run();
  g_host_window = nullptr;
  return 0;
}

// The tray window after a check that found two files: near the tray, counting down.
int ShowTray() {
  CDlgUpdaterIcon::Procedures procedures = CDlgUpdaterIcon::RealProcedures();
  procedures.check = [](HWND window) {
    ::SendMessageW(window, status_protocol::kStatusChangedMessage, UpdateCheckRemote, 0);
    ::Sleep(500);
    ::SendMessageW(window, status_protocol::kStatusChangedMessage, UpdateCheckRemoteOk, 2);
  };
  procedures.update = [](HWND, const StopSignal&) {};
  CDlgUpdaterIcon window(procedures);
  window.DoModal(nullptr);
  return 0;
}

// The .NET dialog, its download started at once.
int ShowDotNet(const std::wstring& address) {
  DotNetDownloadDialog dialog(address, L"2.0");
  struct Clicker {
    static void CALLBACK Click(HWND, UINT, UINT_PTR id, DWORD) {
      ::KillTimer(nullptr, id);
      if (HWND found = ::FindWindowW(nullptr, kBookName))
        ::PostMessageW(found, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
  };
  ::SetTimer(nullptr, 0, 1000, &Clicker::Click);
  dialog.DoModal(nullptr);
  return 0;
}

// The question after a check that found files, without and with a version label.
int ShowPrompt(bool with_version) {
  CurrentDownLoadList().SetRecords({{.path = L"a.dll", .version = L"2"}, {.path = L"b.dat", .version = L"2"}});
  SetStatus(UpdateCheckRemoteOk, nullptr);
  if (with_version) SetRemoteVersionLabel(L"2.0");
  return PromptAndUpdate();
}

}  // namespace
}  // namespace tarvolin

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int) {
  using namespace tarvolin;
  ::OleInitialize(nullptr);
  UseShowConfiguration();
  RegisterHostWindowClass();
  const std::wstring given = arguments ? arguments : L"";
  const std::wstring scene = given.substr(0, given.find(L' '));
  if (scene == L"failed") return ShowFailedUpdate();
  if (scene == L"restored") return ShowRestored();
  if (scene == L"tray") return ShowTray();
  if (scene == L"dotnet" && given.find(L' ') != std::wstring::npos) return ShowDotNet(given.substr(given.find(L' ') + 1));
  if (scene == L"prompt") return ShowPrompt(false);
  if (scene == L"prompt-version") return ShowPrompt(true);
  return 2;
}
