#include "pipeline/check_procedure.h"

#include <vector>

#include "common/process_state.h"
#include "common/strings.h"
#include "config/log.h"
#include "config/settings.h"
#include "config/translation_loader.h"
#include "endpoints.h"
#include "pipeline/copy_stage.h"
#include "pipeline/download_list.h"
#include "status/status_protocol.h"
#include "status/status_windows.h"
#include "status/update_status.h"
#include "updatelist/comparison.h"
#include "updatelist/list_cache_name.h"
#include "updatelist/list_retrieval.h"
#include "updatelist/list_rules.h"
#include "updatelist/list_url.h"
#include "updatelist/update_list.h"
#include "updatelist/xml_dom.h"

namespace tarvolin {
namespace {

namespace texts {
constexpr wchar_t kAskForSample[] = L"can't to get [UNDATEINFO]-ListURL from tarvolin.ini\nMake a sample?";
constexpr wchar_t kNoListUrl[] = L"can't to get [UNDATEINFO]-ListURL from tarvolin.ini";
constexpr wchar_t kListUrlEmpty[] = L"tarvolin.ini -> UPDATEINFO -> ListURL can't empty";
constexpr wchar_t kDownloadingList[] = L"try to download the list file...";
constexpr wchar_t kListDownloadFailed[] = L"error when download the list file.";
constexpr wchar_t kFoundFiles[] = L"Found %d files need to update...";
constexpr wchar_t kNothingToUpdate[] = L"Find nothing to update.";
constexpr wchar_t kSampleLanguage[] = L"tarvolin.lan";
}  // namespace texts

constexpr wchar_t kMessageCaption[] = L"Tarvolin";
// The texts name the file by its usual name; a renamed program reads its own.
constexpr wchar_t kUsualConfigurationName[] = L"tarvolin.ini";
constexpr wchar_t kSampleListPath[] = L"/update/tarvolinen.xml";
constexpr wchar_t kSampleApplication[] = L"demo.exe";
constexpr wchar_t kSampleName[] = L"Tarvolin demo";
constexpr std::size_t kShortestListUrl = 5;
constexpr wchar_t kDefaultProbeTimeOut[] = L"60";
constexpr wchar_t kDefaultListTimeOut[] = L"300";
constexpr const wchar_t* kQuickCheckModes[] = {L"checkforupdates", L"appenternoprompt", L"appenter"};

// Every progress text goes to the report window and into the log.
void Report(HWND report_window, const std::wstring& text) {
  if (report_window) SendStatusText(report_window, text, status_protocol::kNoProgress);
  WriteLog(text);
}

std::wstring WithConfigurationName(const std::wstring& text) {
  return ReplaceAll(text, kUsualConfigurationName, ExeBaseName() + L".ini");
}

long long Polls(const wchar_t* fallback) {
  return PollsForTimeOut(ReadSettingOr(sections::kTarvolin, L"TimeOut", fallback));
}

bool CheckVerNumber() { return ReadSettingBool(sections::kApplication, L"CheckVerNumber", L"0"); }

void WriteSampleConfiguration() {
  WriteSetting(sections::kTarvolin, L"Language", Translate(texts::kSampleLanguage));
  WriteSetting(sections::kTarvolin, L"QuickCheck", L"0");
  WriteSetting(sections::kUpdateInfo, L"ListURL", std::wstring(endpoints::kMakerServer) + kSampleListPath);
  WriteSetting(sections::kApplication, L"Application", kSampleApplication);
  WriteSetting(sections::kApplication, L"Name", kSampleName);
}

bool QuickCheckApplies() {
  const std::wstring mode = RunParameters().Get(L"runmode");
  bool quick_mode = false;
  for (const wchar_t* candidate : kQuickCheckModes) quick_mode = quick_mode || mode == candidate;
  return quick_mode && ReadSettingBool(sections::kTarvolin, L"QuickCheck", L"1") && !CheckVerNumber();
}

// Downloads the list to `list_path` by whichever way the probe left open.
// `downloaded` says whether a file was fetched at all.
bool RetrieveList(const std::wstring& list_path, const std::wstring& list_url, bool& downloaded) {
  ::DeleteFileW(list_path.c_str());
  RunParameters().Set(kListDownloadKeyPrefix + list_path, list_url);
  ClearMirrorWinner();
  downloaded = true;
  if (!MirrorUrls().empty()) return !RaceMirrors(list_path).empty();
  if (ProbeVersion().empty()) return FetchListAndWait(list_path, Polls(kDefaultListTimeOut));
  downloaded = false;  // the probe named a version but no mirror: nothing to fetch
  return true;
}

void PostCommand(HWND window, WORD command) {
  if (window) ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

void ShowDueFiles(CheckFileListView& view) {
  view.ClearFiles();
  for (const updatefileinfo& record : CurrentDownLoadList().Records()) view.AddFile(record.path, kDueFileImage);
  view.RefreshState();
}

void RunFullCheck(HWND report_window, CheckFileListView* update_window) {
  SetStatus(UpdateCheckRemote, report_window);
  // The download folder is the cache stem, which the list settings already name.
  if (!CheckConfig(report_window, report_window != nullptr) || !RunCheck(report_window)) return;

  if (report_window) {
    HWND parent = ::GetParent(report_window);
    PostCommand(parent ? parent : report_window, kCheckSucceededCommand);
  }
  const int count = CurrentDownLoadList().Count();
  Report(report_window, FormatPlaceholders(Translate(texts::kFoundFiles), {std::to_wstring(count)}));
  if (update_window) ShowDueFiles(*update_window);
  SetStatus(UpdateCheckRemoteOk, report_window);
  if (count == 0 && CurrentStatus() == UpdateCheckRemoteOk) Report(report_window, Translate(texts::kNothingToUpdate));
}

void EndCheck(HWND report_window, CheckFileListView* update_window) {
  if (update_window && CurrentDownLoadList().Count() == 0) update_window->HideFiles();
  if (CurrentStatus() != UpdateCheckRemoteOk) {
    SetStatus(UpdateCheckRemoteError, report_window);
    CurrentDownLoadList().SetRecords({});
    CurrentDownLoadList().SetDescription(L"");
  }
  if (update_window) PostCommand(update_window->Window(), kCheckEndedCommand);
}

}  // namespace

HWND ReportWindowOf(HWND window, const CheckFileListView* update_window) {
  if (window && ::IsWindow(window)) return window;
  if (update_window) {
    HWND own = update_window->Window();
    if (own && ::IsWindow(own)) return own;
  }
  return nullptr;
}

void CheckEntry(HWND window, CheckFileListView* update_window) {
  ClearProbeResults();
  if (!CheckVerNumber()) {
    CheckThreadProc(window, update_window);
    return;
  }
  HWND report_window = ReportWindowOf(window, update_window);
  const bool probed = ProbeAndWait(report_window, Polls(kDefaultProbeTimeOut));
  SetStatus(probed && !ProbeVersion().empty() ? UpdateCheckRemoteOk : UpdateCheckRemoteError, report_window);
}

DWORD CheckThreadProc(HWND window, CheckFileListView* update_window) {
  HWND report_window = ReportWindowOf(window, update_window);
  ComThreadScope com;
  try {
    // One full check per process, unless a probe has handed out mirrors.
    const bool checked_before = MirrorUrls().empty() && CurrentStatus() >= UpdateCheckRemote;
    if (!checked_before) RunFullCheck(report_window, update_window);
  } catch (...) {
    WriteLog(L"update check ended by an unexpected error");
  }
  EndCheck(report_window, update_window);
  return 0;
}

bool CheckConfig(HWND report_window, bool interactive) {
  const std::wstring list_url = ReadSetting(sections::kUpdateInfo, L"ListURL");
  if (list_url.empty() && interactive) {
    const std::wstring question = WithConfigurationName(Translate(texts::kAskForSample));
    if (::MessageBoxW(report_window, question.c_str(), kMessageCaption, MB_YESNO | MB_ICONQUESTION) == IDYES)
      WriteSampleConfiguration();
  }
  if (list_url.empty()) {
    Report(report_window, WithConfigurationName(Translate(texts::kNoListUrl)));
    return false;
  }
  SetListUrlBase(list_url);
  return true;
}

bool RunCheck(HWND report_window) {
  const std::wstring list_url = ReadSetting(sections::kUpdateInfo, L"ListURL");
  if (list_url.size() < kShortestListUrl) {
    Report(report_window, Translate(texts::kListUrlEmpty));
    return false;
  }
  DownLoadList& list = CurrentDownLoadList();
  list.SetRecords({});
  list.SetDescription(L"");
  std::vector<updatefileinfo> remote, installed;
  Report(report_window, Translate(texts::kDownloadingList));

  std::wstring list_path = CachedListPath();
  if (QuickCheckApplies()) {
    list_path = ReuseCachedList();
  } else {
    bool downloaded = false;
    if (!RetrieveList(list_path, list_url, downloaded)) {
      std::wstring text = Translate(texts::kListDownloadFailed);
      if (ProbeVersion().empty()) text += L"\n" + list_url;
      Report(report_window, text);
      return false;
    }
    // The next quick check reuses this copy.
    if (downloaded) KeepListForQuickCheck(list_path);
  }

  // An unreadable list simply yields fewer records.
  LoadUpdateList(list_path, remote, true);
  LoadUpdateList(CollapseBackslashes(ConfigurationFolder() + L"\\" + kInstalledListName), installed, false);
  DownloadListValues values;
  FillDownloadList(remote, installed, values);
  list.SetRecords(values.records);
  list.SetDescription(values.description);
  list.SetTasks(values.tasks);
  if (!values.description.empty())
    SendToStatusWindows(status_protocol::kStatusDescriptionMessage, values.description);
  return true;
}

}  // namespace tarvolin
