#include "pipeline/status_programs.h"

#include "config/settings.h"
#include "install/run_file.h"
#include "status/status_rules.h"

namespace tarvolin {

void StatusProgramStarter::OnStatus(int status, HWND report_window) {
  StatusPrograms programs = StatusProgramsFor(status, ReadSetting);
  if (!programs.start.empty()) RunFile(programs.start, L"", L"", false, report_window);
  if (!programs.start_and_wait.empty()) RunFile(programs.start_and_wait, L"", L"", true, report_window);
}

}  // namespace tarvolin
