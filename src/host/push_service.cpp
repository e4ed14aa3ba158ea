#include "host/push_service.h"

#include <windows.h>

#include "common/files.h"
#include "common/strings.h"
#include "config/log.h"
#include "config/settings.h"
#include "download/short_requests.h"
#include "endpoints.h"

namespace tarvolin {

LauncherValues ReadLauncherValues(const LauncherFiles& files) {
  LauncherValues values;
  values.package_file = FileExists(files.PackageSettingsPath());
  values.client_file = FileExists(files.ClientSettingsPath());
  values.set_id = files.LauncherSetting(L"PelmoraSetId");
  values.code = files.LauncherSetting(L"Code");
  values.name = files.LauncherSetting(L"Name");
  values.xa = files.LauncherSetting(L"XA");
  return values;
}

PushSources ReadPushSources(const LauncherFiles& files, const std::wstring& machine_id) {
  PushSources sources;
  sources.server = endpoints::kBookServer;
  sources.machine_id = machine_id;
  sources.launcher = ReadLauncherValues(files);
  sources.configured_xa = ReadSetting(sections::kApplication, L"XA");
  sources.configured_ebook_id = ReadSetting(sections::kApplication, L"EBookID");
  return sources;
}

std::wstring FetchPushAnswer(const PushSources& sources) {
  const auto [product_id, code] = PushListProduct(sources.launcher, sources.configured_ebook_id);
  std::wstring answer;
  if (PostUrl(PushListUrl(sources.server, product_id, code), answer) != kPostOk) return std::wstring();
  return answer;
}

PushScheduler::PushScheduler(Hooks hooks, unsigned pass_ms) : hooks_(std::move(hooks)), pass_ms_(pass_ms) {}

bool PushScheduler::Start() {
  return worker_.started() || worker_.Start([this](const StopSignal& stop) { Run(stop); });
}

void PushScheduler::Run(const StopSignal& stop) {
  const std::wstring answer = hooks_.fetch_answer();
  const long long fetched_at = CurrentTime();
  schedule_.Load(ParsePushAnswer(answer, fetched_at, SystemCalendar()), fetched_at);
  while (!stop.WaitFor(pass_ms_)) {
    if (auto showing = schedule_.Pass(hooks_.may_act(), CurrentTime(), SystemCalendar())) hooks_.show(*showing);
  }
}

PackageWatch::PackageWatch(Hooks hooks, unsigned poll_ms) : hooks_(std::move(hooks)), poll_ms_(poll_ms) {}

bool PackageWatch::AlreadyOwned(const std::wstring& check_url) {
  std::wstring answer;
  PostUrl(check_url, answer);  // a failed request leaves no marker: the pop-up shows
  return Contains(answer, kPackageOwnedMarker);
}

bool PackageWatch::Watch(const std::wstring& msg_id, const std::wstring& check_url) {
  {
    std::lock_guard<std::mutex> hold(guard_);
    pending_ = PendingCheck(msg_id, check_url);
  }
  return worker_.started() || worker_.Start([this](const StopSignal& stop) { Run(stop); });
}

void PackageWatch::Clear() {
  std::lock_guard<std::mutex> hold(guard_);
  pending_.clear();
}

void PackageWatch::Run(const StopSignal& stop) {
  while (!stop.WaitFor(poll_ms_)) {
    if (!hooks_.popup_visible()) continue;
    std::wstring pending;
    {
      std::lock_guard<std::mutex> hold(guard_);
      pending = pending_;
    }
    if (pending.empty()) continue;
    const auto [msg_id, url] = SplitPendingCheck(pending);
    std::wstring answer;
    PostUrl(url, answer);
    if (!Contains(answer, kPackageOwnedPollMarker)) continue;
    {
      // Reported once: unless another message took its place meanwhile.
      std::lock_guard<std::mutex> hold(guard_);
      if (pending_ != pending) continue;
      pending_.clear();
    }
    hooks_.owned(msg_id);
  }
}

}  // namespace tarvolin
