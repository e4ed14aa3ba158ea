#include "pipeline/update_sequence.h"

#include "common/process_state.h"
#include "install/rights_list.h"
#include "pipeline/check_procedure.h"
#include "pipeline/copy_stage.h"
#include "pipeline/local_check.h"
#include "pipeline/scheduler.h"
#include "status/update_status.h"
#include "updatelist/list_retrieval.h"

namespace tarvolin {
namespace {

// Passes over the files that failed, after the first pass over all.
constexpr int kDownloadRetries = 4;

}  // namespace

SequenceEnd RunUpdateSequence(HWND report_window, const std::function<bool()>& stop_requested,
                              const UpdateSequenceOptions& options) {
  if (CurrentStatus() < UpdateCheckRemoteOk) {
    CheckThreadProc(report_window);
    if (RecordsToUpdate() == 0) return SequenceEnd::kEnded;
    if (stop_requested()) return SequenceEnd::kStopped;
  }
  if (options.recheck_with_mirrors && CurrentStatus() == UpdateCheckRemoteOk && !MirrorUrls().empty()) {
    CheckThreadProc(report_window);
    if (CurrentStatus() != UpdateCheckRemoteOk || RecordsToUpdate() == 0) return SequenceEnd::kEnded;
  }
  if (CurrentStatus() == UpdateCheckRemoteOk) {
    DownloadAll(report_window);
    for (int retry = 0; retry < kDownloadRetries && CurrentStatus() == UpdateDownloadError && FailedDownloadCount() > 0;
         ++retry)
      DownloadAll(report_window);
    if (stop_requested()) return SequenceEnd::kStopped;
  }
  if (CurrentStatus() == UpdateDownloadOk) {
    CheckLocalStage(report_window);
    if (stop_requested()) return SequenceEnd::kStopped;
  }
  if (ElevatedRun()) RightsList().Clear();
  if (!RightsList().Empty()) return SequenceEnd::kNeedsAdministrator;
  if (CurrentStatus() == UpdateCheckLocalOk) {
    InstallUpdate(report_window);
    if (stop_requested()) return SequenceEnd::kStopped;
  }
  return SequenceEnd::kEnded;
}

}  // namespace tarvolin
