// The programs configured for status changes: at each change, [UpdateEvent]'s
// program for it is started and left running, then [UpdateEventWaitClose]'s is
// started and awaited. The application registers one at start-up; their
// "Run file" lines go to the stage's report window.
#pragma once

#include "status/update_status.h"

namespace tarvolin {

class StatusProgramStarter final : public StatusObserver {
 public:
  void OnStatus(int status, HWND report_window) override;
};

}  // namespace tarvolin
