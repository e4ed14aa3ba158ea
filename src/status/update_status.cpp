#include "status/update_status.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <vector>

#include "status/status_windows.h"

namespace tarvolin {
namespace {

constexpr std::array<const wchar_t*, 14> kStatusNames{
    L"UpdateNone",         L"UpdateCheckRemote",     L"UpdateCheckRemoteError", L"UpdateCheckRemoteOk",
    L"UpdateDownload",     L"UpdateDownloadError",   L"UpdateDownloadOk",       L"UpdateCheckLocal",
    L"UpdateCheckLocalError", L"UpdateCheckLocalOk", L"UpdateCopy",             L"UpdateCopyError",
    L"UpdateCopyOk",       L"UpdateEnd"};

std::atomic<int>& StatusValue() {
  static std::atomic<int> value{UpdateNone};
  return value;
}

std::atomic<int>& RecordCount() {
  static std::atomic<int> value{0};
  return value;
}

struct Observers {
  std::mutex guard;
  std::vector<StatusObserver*> list;
};

Observers& StatusObservers() {
  static Observers observers;
  return observers;
}

std::vector<StatusObserver*> ObserversNow() {
  std::lock_guard<std::mutex> hold(StatusObservers().guard);
  return StatusObservers().list;
}

}  // namespace

StatusObserverRegistration::StatusObserverRegistration(StatusObserver& observer) : observer_(observer) {
  std::lock_guard<std::mutex> hold(StatusObservers().guard);
  StatusObservers().list.push_back(&observer_);
}

StatusObserverRegistration::~StatusObserverRegistration() {
  std::lock_guard<std::mutex> hold(StatusObservers().guard);
  auto& list = StatusObservers().list;
  list.erase(std::find(list.begin(), list.end(), &observer_));
}

std::wstring StatusName(int status) {
  if (status < 0 || status >= static_cast<int>(kStatusNames.size())) return std::wstring();
  return kStatusNames[static_cast<std::size_t>(status)];
}

int CurrentStatus() { return StatusValue().load(); }
int RecordsToUpdate() { return RecordCount().load(); }
void SetRecordsToUpdate(int count) { RecordCount() = count; }

void SetStatus(int status, HWND report_window) {
  AnnounceStatusToWindows(status, RecordsToUpdate());
  StatusValue() = status;
  for (StatusObserver* observer : ObserversNow()) observer->OnStatus(status, report_window);
}

}  // namespace tarvolin
