#include "app/pending_stages.h"

#include "config/log.h"
#include "status/update_status.h"

namespace tarvolin {
namespace {

void ReportUnavailable(const wchar_t* stage) {
  WriteLog(std::wstring(L"not available in this build: ") + stage);
}

}  // namespace

void EnableActiveXHosting() {}

}  // namespace tarvolin
