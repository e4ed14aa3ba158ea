#include "app/tray_mode.h"

#include "app/elevation.h"
#include "pipeline/update_sequence.h"
#include "ui/updater_icon_window.h"

namespace tarvolin {

void RunUpdaterIconWindow() {
  CDlgUpdaterIcon::Procedures procedures = CDlgUpdaterIcon::RealProcedures();
  // The same run as the other modes'; files that need administrator rights
  // are left to an elevated copy, and this window then ends.
  procedures.update = [](HWND window, const StopSignal& stop) {
    if (RunUpdateSequence(window, [&stop] { return stop.Requested(); }) == SequenceEnd::kNeedsAdministrator &&
        RelaunchElevated(true))
      ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(CDlgUpdaterIcon::kMenuExit, 0), 0);
  };
  CDlgUpdaterIcon window(std::move(procedures));
  window.DoModal(nullptr);
}

}  // namespace tarvolin
