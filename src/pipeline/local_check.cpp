#include "pipeline/local_check.h"

#include "common/process_state.h"
#include "config/log.h"
#include "config/settings.h"
#include "config/translation_loader.h"
#include "install/locked_files.h"
#include "install/rights_list.h"
#include "pipeline/download_list.h"
#include "status/status_windows.h"
#include "status/update_status.h"
#include "updatelist/destination_paths.h"

namespace tarvolin {

int CheckLocalStage(HWND report_window) {
  if (CurrentStatus() != UpdateDownloadOk && CurrentStatus() != UpdateCheckLocal) return 0;
  if (report_window && !::IsWindow(report_window)) report_window = nullptr;
  SetStatus(UpdateCheckLocal, report_window);
  const bool ask = report_window != nullptr;

  // An unwritable configuration folder also needs the elevated copy.
  WaitFileWritable(ConfigurationFilePath(), false);

  if (ElevatedRun()) RightsList().Clear();
  bool ok = true;
  if (RightsList().Empty()) {
    DestinationPathsFn destinations = [](const updatefileinfo& record) { return DestinationPaths(record); };
    ok = PrepareInstall(report_window, ask, CurrentDownLoadList().Records(), destinations);
  }
  if (ElevatedRun()) RightsList().Clear();

  if (!RightsList().Empty()) {
    SetStatus(UpdateCheckLocalError, report_window);
    std::wstring text = Translate(L"request administrator privileges to continue");
    if (report_window) SendStatusText(report_window, text, -1);
    WriteLog(text);
    return 0;
  }
  SetStatus(ok ? UpdateCheckLocalOk : UpdateCheckLocalError, report_window);
  return 0;
}

}  // namespace tarvolin
