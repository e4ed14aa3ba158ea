#include "install/rights_list.h"

#include <windows.h>

#include "common/process_state.h"

namespace tarvolin {
namespace {

// Vista and later; the versions before it have no elevation prompt.
constexpr unsigned long kLastMajorWithoutElevation = 5;

}  // namespace

void PathList::Add(const std::wstring& path) {
  std::lock_guard<std::mutex> hold(guard_);
  paths_.push_back(path);
}

void PathList::Clear() {
  std::lock_guard<std::mutex> hold(guard_);
  paths_.clear();
}

bool PathList::Empty() const {
  std::lock_guard<std::mutex> hold(guard_);
  return paths_.empty();
}

std::size_t PathList::Size() const {
  std::lock_guard<std::mutex> hold(guard_);
  return paths_.size();
}

std::vector<std::wstring> PathList::Paths() const {
  std::lock_guard<std::mutex> hold(guard_);
  return paths_;
}

PathList& RightsList() {
  // Never destroyed: threads may still use it while the process ends.
  static PathList* list = new PathList;
  return *list;
}

bool ElevationExistsOn(bool version_query_ok, bool nt_family, unsigned long major_version) {
  return version_query_ok && nt_family && major_version > kLastMajorWithoutElevation;
}

bool ElevationAvailable() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  // Later systems may report an older version to an unmanifested program, but
  // never one below 6, which is all that matters here.
  const bool ok = ::GetVersionExW(&version) != FALSE;
  return ElevationExistsOn(ok, version.dwPlatformId == VER_PLATFORM_WIN32_NT, version.dwMajorVersion);
}

bool ElevationTestHolds(bool access_denied, bool elevation_available, bool elevated_run) {
  return access_denied && elevation_available && !elevated_run;
}

bool AddToRightsList(const std::wstring& path, unsigned long last_error) {
  if (!ElevationTestHolds(last_error == ERROR_ACCESS_DENIED, ElevationAvailable(), ElevatedRun())) return false;
  RightsList().Add(path);
  return true;
}

}  // namespace tarvolin
