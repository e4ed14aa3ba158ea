// The update status of the current run and its announcement.
#pragma once

#include <windows.h>

#include "status/status_numbers.h"

namespace tarvolin {

int CurrentStatus();
// Number of due file records of the current update.
int RecordsToUpdate();
void SetRecordsToUpdate(int count);

// Announces the status to the status windows, stores it, then starts the
// programs configured for it in [UpdateEvent] (left running) and
// [UpdateEventWaitClose] (awaited). Their "Run file" lines go to
// `report_window`, which may be null.
void SetStatus(int status, HWND report_window);

}  // namespace tarvolin
