#include "host/reading_page_rules.h"

#include "common/strings.h"

namespace tarvolin {

std::wstring ReadingPageAddress(const ReadingPageValues& values) {
  std::wstring address = values.server + L"/workshop/shownewIframe" + (values.login_page_reached ? L"" : L"NoDns") +
                         L".aspx?id=" + values.ebook_id + L"&Type=package&GroupUserName=" + values.agent +
                         L"&MachineID=" + values.machine_id + L"&OldMachineID=" + values.old_machine_id +
                         L"&ExternalCmd=V1.0";
  if (values.package_id) address += L"&PackageId=" + *values.package_id;
  return address;
}

std::wstring HostTitleFrom(const std::wstring& application) {
  return RemoveAll(application.empty() ? std::wstring(kDefaultHostTitle) : application, L".exe");
}

}  // namespace tarvolin
