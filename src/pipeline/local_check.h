// The stage between download and copy: nothing to be replaced may be locked,
// and files that need administrator rights are collected for a relaunch.
#pragma once

#include <windows.h>

namespace tarvolin {

// Runs only after a download (status 6) or a check that was interrupted (7).
// `report_window` (may be null) gets the status texts; with one, the reader is
// asked about locked files. Always 0, in the form of a thread procedure.
int CheckLocalStage(HWND report_window);

}  // namespace tarvolin
