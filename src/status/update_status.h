// The update status of the current run and its announcement.
#pragma once

#include <windows.h>

#include "status/status_numbers.h"

namespace tarvolin {

int CurrentStatus();
// Number of due file records of the current update.
int RecordsToUpdate();
void SetRecordsToUpdate(int count);

// Told of every status change, on the thread that makes it, once the status is
// stored. `report_window` (may be null) is the window the stage reports to.
class StatusObserver {
 public:
  virtual ~StatusObserver() = default;
  virtual void OnStatus(int status, HWND report_window) = 0;
};

// Adds an observer for the object's life, after those already there. Register
// before the update starts and end the registration after it has ended: a
// notification runs outside the registry's lock.
class StatusObserverRegistration {
 public:
  explicit StatusObserverRegistration(StatusObserver& observer);
  ~StatusObserverRegistration();
  StatusObserverRegistration(const StatusObserverRegistration&) = delete;
  StatusObserverRegistration& operator=(const StatusObserverRegistration&) = delete;

 private:
  StatusObserver& observer_;
};

// Announces the status to the status windows, stores it, then tells the
// observers in the order they registered.
void SetStatus(int status, HWND report_window);

}  // namespace tarvolin
