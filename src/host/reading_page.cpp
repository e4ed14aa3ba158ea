#include "host/reading_page.h"

#include "common/process_state.h"
#include "config/settings.h"
#include "endpoints.h"
#include "host/connectivity_probe.h"
#include "host/reading_page_rules.h"

namespace tarvolin {

ReadingPageSources ReadingPageSources::OfThisBuild() {
  return ReadingPageSources{endpoints::kReadingServer, endpoints::kLoginPage, LauncherFiles::OfThisProgram()};
}

std::wstring ReadingPageAddressForThisRun(const ReadingPageSources& sources) {
  ReadingPageValues values;
  values.server = sources.server;
  values.login_page_reached = ProbeConnection(sources.login_page);
  values.ebook_id = ReadSetting(sections::kApplication, L"EBookID");
  values.agent = ReadSetting(sections::kApplication, L"AgentName");
  values.machine_id = MachineID();
  values.old_machine_id = OldMachineID();
  values.package_id = sources.launcher.PackageId();
  return ReadingPageAddress(values);
}

std::wstring HostTitle() { return HostTitleFrom(ReadSetting(sections::kApplication, L"Application")); }

}  // namespace tarvolin
