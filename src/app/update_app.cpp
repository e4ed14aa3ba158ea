#include "app/update_app.h"

#include <objbase.h>
#include <wininet.h>
#include <winsock2.h>

#include "app/appended_package.h"
#include "app/command_line.h"
#include "app/elevation.h"
#include "app/configuration_refresh.h"
#include "app/exit_code.h"
#include "app/prerequisites.h"
#include "app/run_modes.h"
#include "common/files.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "common/unique_handle.h"
#include "config/book_folder.h"
#include "config/settings.h"
#include "config/log.h"
#include "config/translation_loader.h"
#include "install/old_files.h"
#include "pipeline/download_list.h"
#include "install/release_return.h"
#include "install/run_file.h"
#include "status/status_windows.h"
#include "status/update_status.h"
#include "ui/browser_emulation.h"
#include "ui/most_simple_window.h"
#include "updatelist/list_cache_name.h"
#include "updatelist/list_settings.h"
#include "updatelist/list_signature.h"
#include "updatelist/remote_version.h"

namespace tarvolin {
namespace {

constexpr wchar_t kOfflineMessage[] = L"您的电脑处于断网状态，电子书下载失败，请保持网络畅通！";
constexpr wchar_t kStartupEvent[] = L"UpdateStartup";
constexpr wchar_t kUnverifiedLog[] =
    L"this program carries no signing key: its lists and configuration are not verified";

}  // namespace

std::wstring BookWindowTitle() {
  return RemoveAll(ReadSetting(sections::kApplication, L"Application"), L".exe");
}

bool CUpdateApp::InitInstance() {
  LoadConfiguration();
  RefreshConfigurationFromServer();
  if (BookWindowAlreadyOpen()) return false;
  if (MachineIsOffline()) return false;
  // Past the two early ends, which leave before the log is ever written.
  SayWhenUnverified();
  RegisterHostWindowClass();
  CheckFlashPlayer();
  FinishInterruptedReturn();  // the book must not start on two releases mixed
  if (StartInstalledBook()) return true;
  EnableDebugPrivilege();
  SetBrowserEmulationForSelf();
  InitializeComponents();
  FixExeBaseName();
  CheckAppendedUpdatePackage();
  RunStartHooks();
  ReadConnectTryCount();
  LoadListSettings();
  PurgeBackups();
  // The dialogs host the browser control through their own client site:
  // nothing is switched on process-wide for it.
  LoadTranslation();
  if (!ReadCommandLine()) return false;
  CheckDotNet();
  return DecideAndRunMode();
}

void CUpdateApp::LoadConfiguration() {
  LoadStartupConfiguration(default_text_);
  // With a key, the settings come from memory only: the default carried inside
  // the program until a verified copy from the server takes its place. The file
  // in the book folder is the reader's to write, and the elevated run is not.
  if (BookListSigningKey().required) SealConfiguration(std::make_shared<const IniText>(IniText::FromText(default_text_.text)));
}

void CUpdateApp::RefreshConfigurationFromServer() {
  // Values read so far (the refresh itself logs and reads the agent name) came
  // from the default copy; once the server's copy is in place it must rule.
  if (RefreshConfiguration()) RunParameters().Clear();
}

void CUpdateApp::SayWhenUnverified() {
  if (!BookListSigningKey().required) WriteLog(kUnverifiedLog);
}

bool CUpdateApp::BookWindowAlreadyOpen() {
  std::wstring title = BookWindowTitle();
  // Without an application name there is no book window to look for; an empty
  // title would match any untitled window and end the run for nothing.
  if (title.empty()) return false;
  HWND book = ::FindWindowW(nullptr, title.c_str());
  if (!book) return false;
  ::SetForegroundWindow(book);
  ::ShowWindow(book, SW_SHOWMAXIMIZED);
  return true;
}

bool CUpdateApp::MachineIsOffline() {
  DWORD flags = 0;
  if (::InternetGetConnectedState(&flags, 0)) return false;
  ::MessageBoxW(nullptr, kOfflineMessage, BookWindowTitle().c_str(), MB_OK | MB_ICONERROR);
  forced_exit_code_ = 0;
  return true;
}

void CUpdateApp::RegisterHostWindowClass() { tarvolin::RegisterHostWindowClass(); }

void CUpdateApp::CheckFlashPlayer() { RequireFlash(); }

bool CUpdateApp::StartInstalledBook() {
  std::wstring application = MainApplicationPath();
  if (application.empty() || !FileExists(application)) return false;
  SetStatus(UpdateEnd, nullptr);
  StartMainApplication(1);
  if (!Contains(CachedListPath(), L".xml.xml")) CleanStaleCacheMarker();
  return true;
}

void CUpdateApp::EnableDebugPrivilege() {
  unique_handle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) return;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!::LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &privileges.Privileges[0].Luid)) return;
  ::AdjustTokenPrivileges(token.get(), FALSE, &privileges, sizeof privileges, nullptr, nullptr);
}

void CUpdateApp::SetBrowserEmulationForSelf() { SetBrowserEmulation(FileNameOf(ExecutablePath())); }

void CUpdateApp::InitializeComponents() {
  com_initialized_ = SUCCEEDED(::CoInitialize(nullptr));
  WSADATA data;
  sockets_initialized_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void CUpdateApp::FixExeBaseName() {
  std::wstring name = FileNameOf(ExecutablePath());
  std::size_t dot = name.find_last_of(L'.');
  SetExeBaseName(dot == std::wstring::npos ? name : name.substr(0, dot));
}

void CUpdateApp::CheckAppendedUpdatePackage() { package_taken_ = TakeAppendedPackage(ExecutablePath()); }

void CUpdateApp::RunStartHooks() {
  std::wstring no_wait = ReadSetting(sections::kUpdateEvent, kStartupEvent);
  if (!no_wait.empty()) RunFile(no_wait, L"", L"", false, nullptr);
  std::wstring wait = ReadSetting(sections::kUpdateEventWaitClose, kStartupEvent);
  if (!wait.empty()) RunFile(wait, L"", L"", true, nullptr);
}

void CUpdateApp::ReadConnectTryCount() {
  SetConnectTryCount(static_cast<int>(ParseDecimal(ReadSettingOr(sections::kTarvolin, L"ConnectTryCount", L"3"))));
}

void CUpdateApp::LoadListSettings() { tarvolin::LoadListSettings(); }

void CUpdateApp::PurgeBackups() { PurgeOldFiles(); }

void CUpdateApp::LoadTranslation() { LoadStartupTranslation(); }

bool CUpdateApp::ReadCommandLine() {
  std::wstring own_path = ConfigurationFolder() + L"\\" + ExeBaseName() + L".exe";
  command_line_ = CleanCommandLine(::GetCommandLineW(), own_path);
  RunParameters().Set(L"commandline", command_line_);
  SetElevatedRun(Contains(command_line_, kElevatedMarker));
  if (auto version = FindDotNetSwitch(command_line_)) {
    InstallDotNet(nullptr, *version);
    return false;
  }
  return true;
}

void CUpdateApp::CheckDotNet() { CheckDotNetOnStart(nullptr); }

bool CUpdateApp::DecideAndRunMode() {
  ModeDecision decision =
      DecideMode(CommandLineTokens(command_line_), ReadSetting(sections::kTarvolin, L"Mode"),
                 [](std::uintptr_t value) { return ::IsWindow(reinterpret_cast<HWND>(value)) != FALSE; });
  std::wstring mode = decision.mode;
  RunParameters().Set(L"runmode", mode);
  if (decision.host_window != 0) {
    HWND host = reinterpret_cast<HWND>(decision.host_window);
    SetHostWindow(host);
    RegisterStatusWindow(host);
  }

  SetStatus(UpdateNone, nullptr);
  if (ElevatedRun()) {
    std::wstring hand_over = HandOverFilePath();
    const int handed = LoadHandOverList(hand_over);
    ::DeleteFileW(hand_over.c_str());
    if (handed > 0 && !HandOverIsVerified()) {
      // Ends as a failed copy ends: nothing of it is installed.
      CurrentDownLoadList().Restore({});
      SetStatus(UpdateCopyError, nullptr);
      SetStatus(UpdateEnd, nullptr);
      forced_exit_code_ = 0;
      return false;
    }
    if (handed > 0) SetStatus(UpdateDownloadOk, nullptr);
    if (mode == L"appenter" || mode == L"appenternoprompt") mode.clear();
  } else if (package_taken_) {
    SetStatus(UpdateCheckRemoteOk, nullptr);
  }
  return DispatchMode(mode, HostWindow()).init_result;
}

int CUpdateApp::ExitCode() const {
  if (forced_exit_code_) return *forced_exit_code_;
  return ExitCodeFor(RecordsToUpdate(), RemoteVersionLabel(), ReadSetting(sections::kApplication, L"Ver"));
}

int CUpdateApp::Run() {
  // No main window exists, so there is nothing to wait for; drain what is queued.
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return ExitCode();
}

int CUpdateApp::ExitInstance() {
  ReleaseStatusWindows();
  if (sockets_initialized_) ::WSACleanup();
  if (com_initialized_) ::CoUninitialize();
  int code = ExitCode();
  RunParameters().Clear();
  return code;
}

}  // namespace tarvolin
