// The push messages of one host window: the hidden pop-up and the scheduler
// thread. The host window makes one, starts it once its page navigation has
// begun, forwards kShowPushMessage and kRetirePushMessage to it, and stops it
// when it is destroyed (Stop waits for the threads, answering what they send
// meanwhile, so none of them outlives the window).
//
// Thread affinity: the host window's thread.
#pragma once

#include <windows.h>

#include <memory>

#include "host/push_service.h"
#include "ui/push_popup.h"

namespace tarvolin {

class PushMessages {
 public:
  PushMessages() = default;
  ~PushMessages() { Stop(); }
  PushMessages(const PushMessages&) = delete;
  PushMessages& operator=(const PushMessages&) = delete;

  // Creates the hidden pop-up owned by `owner` and starts the scheduler, which
  // fetches the list first. False when the pop-up cannot be made.
  bool Start(HWND owner, PushSources sources, UrlOpener opener = OpenWithShell);
  // Ends the scheduler and the pop-up with its polling thread. Safe to call again.
  void Stop();

  // kShowPushMessage: lParam is the key of the parked showing text
  // (common/window_texts.h); any other value is dropped.
  void OnShowPush(LPARAM lparam);
  // kRetirePushMessage: lParam is the key of the parked MsgId.
  void OnRetirePush(LPARAM lparam);
  // The host hid or minimized itself: the pop-up goes too.
  void OnOwnerHidden();

  CMsgDlg* popup() noexcept { return popup_.get(); }

 private:
  bool stopping_ = false;
  std::unique_ptr<CMsgDlg> popup_;
  std::unique_ptr<PushScheduler> scheduler_;
};

}  // namespace tarvolin
