// Starting the stand-in program of the locked-file tests and talking to it
// through a pair of named events.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "common/unique_handle.h"

namespace tarvolin::testing {

// The stand-in program beside the test program.
std::wstring StandInProgram();

class StandIn {
 public:
  StandIn();
  // Releases the program and ends it when it is still running.
  ~StandIn();
  StandIn(const StandIn&) = delete;
  StandIn& operator=(const StandIn&) = delete;

  const std::wstring& ready_event() const { return ready_name_; }
  const std::wstring& release_event() const { return release_name_; }

  // Starts `program` with `arguments`; true once it has signalled that it is ready.
  bool Start(const std::wstring& program, const std::wstring& arguments);
  DWORD id() const { return id_; }
  bool Running() const;
  void Release();
  // The exit code, or nothing when it is still running after `timeout_ms`.
  std::optional<DWORD> WaitForExit(DWORD timeout_ms);

 private:
  std::wstring ready_name_;
  std::wstring release_name_;
  unique_handle ready_;
  unique_handle release_;
  unique_handle process_;
  DWORD id_ = 0;
};

}  // namespace tarvolin::testing
