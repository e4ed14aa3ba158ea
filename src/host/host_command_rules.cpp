#include "host/host_command_rules.h"

#include <utility>

#include "common/strings.h"

namespace tarvolin {
namespace {

constexpr std::pair<const wchar_t*, HostCommand> kMarkers[] = {
    {L"Type=heartbeat", HostCommand::HeartbeatOther},
    {L"Type=loadComplete", HostCommand::LoadComplete},
    {L"Type=PopShowEBookSetActive", HostCommand::PopShowEBookSetActive},
    {L"Type=minimizeWindows", HostCommand::Minimize},
    {L"Type=maximizeWindows", HostCommand::Maximize},
    {L"Type=restoreWindows", HostCommand::Restore},
    {L"Type=closeApp", HostCommand::CloseApp},
    {L"Type=moveWindows", HostCommand::MoveWindows},
    {L"Type=externalCmd", HostCommand::ExternalCmd},
};

constexpr std::pair<const wchar_t*, HostCommand> kHeartbeatIds[] = {
    {L"id=preinitialize", HostCommand::HeartbeatPreinitialize},
    {L"id=applicationComplete", HostCommand::HeartbeatApplicationComplete},
    {L"id=firstPageLoaded", HostCommand::HeartbeatFirstPageLoaded},
};

HostCommand FirstMarkerIn(const std::wstring& url, const auto& markers, HostCommand none) {
  for (const auto& [marker, command] : markers) {
    if (Contains(url, marker)) return command;
  }
  return none;
}

}  // namespace

HostCommand ClassifyHostCommand(const std::wstring& url) {
  const HostCommand command = FirstMarkerIn(url, kMarkers, HostCommand::None);
  if (command != HostCommand::HeartbeatOther) return command;
  return FirstMarkerIn(url, kHeartbeatIds, HostCommand::HeartbeatOther);
}

std::optional<PageProgress> ProgressOf(HostCommand command) {
  switch (command) {
    case HostCommand::HeartbeatPreinitialize:
      return PageProgress{load_phase::kPreinitialize, kSlowContentCaption, kDismissAsYes};
    case HostCommand::HeartbeatApplicationComplete:
      return PageProgress{load_phase::kApplicationComplete, kApplicationCompleteCaption, kDismissQuietly};
    case HostCommand::HeartbeatFirstPageLoaded:
      return PageProgress{load_phase::kFirstPageLoaded, kDamagedContentCaption, kDismissQuietly};
    default:
      return std::nullopt;
  }
}

WatchdogBox WatchdogBoxFor(int phase) {
  if (phase < load_phase::kDocumentComplete) return WatchdogBox::SlowPage;
  if (phase < load_phase::kPreinitialize) return WatchdogBox::SlowContent;
  if (phase < load_phase::kFirstPageLoaded) return WatchdogBox::DamagedContent;
  return WatchdogBox::None;
}

std::optional<WatchdogMessage> WatchdogMessageFor(WatchdogBox box, const std::wstring& ebook_id) {
  switch (box) {
    case WatchdogBox::SlowPage:
      return WatchdogMessage{kSlowPageText, kSlowPageCaption, true};
    case WatchdogBox::SlowContent:
      return WatchdogMessage{kSlowContentText, kSlowContentCaption, true};
    case WatchdogBox::DamagedContent:
      return WatchdogMessage{FormatPlaceholders(kDamagedContentFormat, {ebook_id}, Placeholders::kTextsOnly) + L"\n" +
                                 kSupportContactLines,
                             kDamagedContentCaption, false};
    case WatchdogBox::None:
      break;
  }
  return std::nullopt;
}

}  // namespace tarvolin
