// Runs the status window host program (status_host.cpp) for one test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "support/temp_folder.h"

namespace tarvolin::testing {

class StatusHostProcess {
 public:
  // Starts the host and waits until its window exists; window() is null when
  // that did not happen.
  StatusHostProcess();
  ~StatusHostProcess();
  StatusHostProcess(const StatusHostProcess&) = delete;
  StatusHostProcess& operator=(const StatusHostProcess&) = delete;

  HWND window() const { return window_; }
  // Tells the host to act on its own window (status_host_commands.h); returns when it has.
  void Tell(UINT command) const;
  // Destroys the host's window and waits for the host to end.
  bool Quit();
  // Every message received so far, one line each, in order.
  std::vector<std::wstring> Records() const;

 private:
  TempFolder folder_;
  unique_handle process_;
  HWND window_ = nullptr;
};

// Copies one of the helper programs built beside the test program.
bool CopyHelperProgram(const std::wstring& name, const std::wstring& target);


}  // namespace tarvolin::testing
