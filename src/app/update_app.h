// The application object: start-up, the chosen run mode and the exit code.
// InitInstance is the whole run; every mode ends before it returns.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "config/default_configuration.h"
#include "config/log.h"
#include "pipeline/status_programs.h"
#include "status/status_windows.h"
#include "status/update_status.h"

namespace tarvolin {

class CUpdateApp {
 public:
  CUpdateApp() = default;
  CUpdateApp(const CUpdateApp&) = delete;
  CUpdateApp& operator=(const CUpdateApp&) = delete;

  bool InitInstance();
  int Run();
  int ExitInstance();

 private:
  // Start-up steps, in the order they run.
  void LoadConfiguration();
  void RefreshConfigurationFromServer();
  void SayWhenUnverified();
  bool BookWindowAlreadyOpen();
  bool MachineIsOffline();
  void RegisterHostWindowClass();
  void CheckFlashPlayer();
  bool StartInstalledBook();
  void EnableDebugPrivilege();
  void SetBrowserEmulationForSelf();
  void InitializeComponents();
  void FixExeBaseName();
  void CheckAppendedUpdatePackage();
  void RunStartHooks();
  void ReadConnectTryCount();
  void LoadListSettings();
  void PurgeBackups();
  void LoadTranslation();
  bool ReadCommandLine();
  void CheckDotNet();
  bool DecideAndRunMode();

  int ExitCode() const;

  // Log lines go to the status windows, and status changes start the configured
  // programs, from the moment the application exists.
  ScopedLogSink log_to_status_windows_{&SendLogLineToStatusWindows};
  StatusProgramStarter status_programs_;
  StatusObserverRegistration status_programs_registration_{status_programs_};

  DefaultConfiguration default_text_;
  std::optional<int> forced_exit_code_;
  bool com_initialized_ = false;
  bool sockets_initialized_ = false;
  // The appended package left due files: the run starts as after a check.
  bool package_taken_ = false;
  std::wstring command_line_;
};

// Title of the e-book's own window: [APPLICATION] Application without ".exe".
std::wstring BookWindowTitle();

}  // namespace tarvolin
