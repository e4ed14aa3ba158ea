#include "app/run_modes.h"

#include "app/elevation.h"
#include "app/exit_code.h"
#include "app/tray_mode.h"
#include "app/prerequisites.h"
#include "app/uninstall.h"
#include "common/files.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "config/log.h"
#include "config/settings.h"
#include "config/translation_loader.h"
#include "host/machine_identity.h"
#include "install/locked_files.h"
#include "pipeline/check_procedure.h"
#include "pipeline/update_sequence.h"
#include "status/host_control.h"
#include "status/status_windows.h"
#include "status/update_status.h"
#include "updatelist/list_cache_name.h"
#include "ui/most_simple_window.h"
#include "updatelist/remote_version.h"

namespace tarvolin {
namespace {

constexpr int kWindowModeUpdate = CDlgMostSimple::kModeUpdate;
constexpr int kWindowModeCheck = CDlgMostSimple::kModeCheck;
constexpr int kWindowModeAppEnter = CDlgMostSimple::kModeAppEnter;

bool ShowWhenCheck() { return ReadSettingBool(sections::kTarvolin, L"ShowWhenCheck", L"1"); }

std::wstring InstalledVersion() { return ReadSetting(sections::kApplication, L"Ver"); }

// The cached list path holds ".xml.xml" while a quick check reuses the last list.
bool QuickCheckListInUse() { return Contains(CachedListPath(), L".xml.xml"); }

void CleanStaleCacheMarkerUnlessQuickCheck() {
  if (!QuickCheckListInUse()) CleanStaleCacheMarker();
}

void LogMachineIdentity() {
  const MachineIds ids = ComputeMachineIds();
  const std::wstring& current = ids.current;
  const std::wstring& previous = ids.previous;
  std::wstring log_path = LogFilePath();
  if (log_path.empty()) return;
  std::wstring text = current == kUnknownMachineId
                          ? std::wstring(L"机器码读取失败！")
                          : FormatWide(L"机器码读取成功，原机器码：[%ls]，新机器码：[%ls]", previous.c_str(), current.c_str());
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  // AppendLogLine takes the log lock, as the log writer does.
  AppendLogLine(log_path, FormatLogLine(now, text));
}

// The host window in `window_mode`; returns when it has ended.
void RunMostSimpleWindow(int window_mode, HWND parent) {
  HostWindowActions actions;
  actions.relaunch_elevated = [] { return RelaunchElevated(true); };
  actions.prompt_and_update = [] { PromptAndUpdate(); };
  CDlgMostSimple window(window_mode, parent, std::move(actions));
  window.Run();
}

// True when the host asked us to stop because its window has gone.
bool PausePoint(HWND host_window) { return WaitWhileHostPaused(host_window); }

}  // namespace

int RunCheckOnly(HWND parent) {
  if (ShowWhenCheck()) {
    RunMostSimpleWindow(kWindowModeCheck, parent);
  } else {
    CheckEntry(nullptr);
  }
  return RecordsToUpdate();
}

void RunUpdateWindow(HWND parent) {
  LogMachineIdentity();
  ReadSetting(sections::kTarvolin, L"Skin");  // read, but this window has one skin only
  RunParameters().Set(kUpdateSkinParameter, kMinimalUpdateSkin);
  RunMostSimpleWindow(kWindowModeUpdate, parent);
  CleanStaleCacheMarkerUnlessQuickCheck();
}

void FinishRun(int start_mode) {
  StartMainApplication(start_mode);
  CleanStaleCacheMarkerUnlessQuickCheck();
}

int PromptAndUpdate() {
  const std::wstring label = RemoteVersionLabel();
  // Due files or a new version: what a check-only run's exit code would report.
  const int due = ExitCodeFor(RecordsToUpdate(), label, InstalledVersion());
  if (CurrentStatus() != UpdateCheckRemoteOk || due <= 0) {
    FinishRun(1);
    return 1;
  }
  if (RunParameters().Get(L"runmode") != L"appenternoprompt") {
    std::wstring text = label.empty()
                            ? FormatPlaceholders(Translate(L"%d updates found at the website,now to upgrade?"),
                                                 {std::to_wstring(RecordsToUpdate())})
                            : Translate(L"found new version at the website,now to upgrade?");
    std::wstring title = ReadSetting(sections::kApplication, L"Name");
    int answer = ::MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDCANCEL) {
      CleanStaleCacheMarker();
      return 1;
    }
    if (answer == IDNO) {
      FinishRun(1);
      return 1;
    }
  }
  RunUpdateWindow(HostWindow());
  return 1;
}

int RunAppEnter(const std::wstring&) {
  if (ReadSetting(sections::kApplication, L"Application").empty()) {
    std::wstring text = Translate(L"At AppEnter mode,You must set Application in tarvolin.ini file.");
    ::MessageBoxW(nullptr, text.c_str(), nullptr, MB_OK);
    return 0;
  }
  if (ShowWhenCheck()) {
    RunMostSimpleWindow(kWindowModeAppEnter, HostWindow());
    return 1;
  }
  CheckEntry(nullptr);
  return PromptAndUpdate();
}

int RunSilent(HWND host_window, const ElevatedStarter& start_elevated) {
  auto finish = [] {
    SetStatus(UpdateEnd, nullptr);
    FinishRun(0);
    return 1;
  };
  const SequenceEnd end = RunUpdateSequence(nullptr, [host_window] { return PausePoint(host_window); });
  if (end == SequenceEnd::kNeedsAdministrator) {
    std::wstring text = Translate(L"continue update as administrator");
    SendStatusText(host_window, text, -1);
    WriteLog(text);
    if (RelaunchElevated(true, start_elevated)) return 1;
    // Nobody carries the run on: the files stay as they were, as after a failed copy.
    SetStatus(UpdateCopyError, nullptr);
    return finish();
  }
  return finish();
}

void ClearListCache() {
  std::wstring base = CachedListStem();
  for (const wchar_t* suffix : {L".xml.xml", L".xml", L".bin", L".ini"}) ::DeleteFileW((base + suffix).c_str());
  DeleteTree(base);
}

ModeOutcome DispatchMode(const std::wstring& mode, HWND host_window) {
  if (mode == L"downparam0" || mode == L"downparam1") return {false};
  if (mode == L"checkforupdates") {
    int result = RunCheckOnly(host_window);
    std::wstring label = RemoteVersionLabel();
    if (!label.empty() && label != InstalledVersion()) result = 0x07FFFFFF;
    SetStatus(UpdateEnd, nullptr);
    return {result != 0};
  }
  if (mode == L"showwhenupdate") {
    CheckThreadProc(nullptr);
    int result = RecordsToUpdate();
    if (result > 0 && CurrentStatus() == UpdateCheckRemoteOk) {
      RunUpdateWindow(host_window);
      SetStatus(UpdateEnd, nullptr);
    }
    return {result != 0};
  }
  if (mode == L"tryicon") {
    RunUpdaterIconWindow();
    return {false};
  }
  if (mode == L"silence") return {RunSilent(host_window) != 0};
  if (mode == L"appenter" || mode == L"appenternoprompt") return {RunAppEnter(mode) != 0};
  if (mode == L"uninstall") {
    UninstallFiles();
    ClearListCache();
    return {false};
  }
  if (mode == L"emptytemp") {
    ClearListCache();
    return {false};
  }
  RunUpdateWindow(host_window);
  SetStatus(UpdateEnd, nullptr);
  return {false};
}

}  // namespace tarvolin
