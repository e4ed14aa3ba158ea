#include "ui/push_messages.h"

#include "common/window_texts.h"

namespace tarvolin {

bool PushMessages::Start(HWND owner, PushSources sources, UrlOpener opener) {
  Stop();
  popup_ = std::make_unique<CMsgDlg>(owner, sources, std::move(opener));
  const HWND in_front = ::GetForegroundWindow();
  if (!popup_->Create()) {
    popup_.reset();
    return false;
  }
  // Made hidden, the pop-up must not keep the activation it may have taken:
  // the scheduler shows messages only while the host is in front.
  if (::GetForegroundWindow() == popup_->hwnd() && in_front) ::SetForegroundWindow(in_front);
  const HWND popup_window = popup_->hwnd();
  CMsgDlg* popup = popup_.get();
  PushScheduler::Hooks hooks;
  hooks.fetch_answer = [sources] { return FetchPushAnswer(sources); };
  hooks.may_act = [owner, popup_window, popup] {
    return popup->page_ready() && !::IsWindowVisible(popup_window) && ::GetForegroundWindow() == owner &&
           !::IsIconic(owner);
  };
  hooks.show = [owner](const std::wstring& text) {
    ParkedWindowText parked(kShowPushMessage, text);
    ::SendMessageW(owner, kShowPushMessage, 1, static_cast<LPARAM>(parked.key()));
  };
  scheduler_ = std::make_unique<PushScheduler>(std::move(hooks));
  return scheduler_->Start();
}

void PushMessages::Stop() {
  // A showing the scheduler sends while it is being stopped is dropped.
  stopping_ = true;
  // The scheduler reads the pop-up, so it ends first.
  if (scheduler_) scheduler_->Stop();
  scheduler_.reset();
  popup_.reset();
  stopping_ = false;
}

void PushMessages::OnShowPush(LPARAM lparam) {
  if (stopping_ || !popup_ || !popup_->hwnd()) return;
  if (auto text = ParkedText(kShowPushMessage, static_cast<UINT_PTR>(lparam))) popup_->ShowPushMessage(*text);
}

void PushMessages::OnRetirePush(LPARAM lparam) {
  if (!scheduler_) return;
  if (auto msg_id = ParkedText(kRetirePushMessage, static_cast<UINT_PTR>(lparam))) scheduler_->MarkDone(*msg_id);
}

void PushMessages::OnOwnerHidden() {
  if (popup_ && popup_->hwnd()) popup_->HideMsgDialog();
}

}  // namespace tarvolin
