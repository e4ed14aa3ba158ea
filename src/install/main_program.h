// Finding and closing the running main program (the e-book application named
// in the configuration) before its files are replaced.
//
// Thread affinity: any thread; the update window's worker thread in practice.
// Process and window lists are snapshots: a program started afterwards is not seen.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tarvolin {

// Room for this many entries at the first attempt; the lists grow until everything fits.
inline constexpr std::size_t kInitialProcessListCapacity = 1024;

// Every process id of the system, the idle process (id 0) left out; nothing when the system refuses.
std::optional<std::vector<DWORD>> RunningProcessIds(std::size_t initial_capacity = kInitialProcessListCapacity);
// Every module of a process opened with query-information and read-memory access.
std::optional<std::vector<HMODULE>> ProcessModules(HANDLE process,
                                                   std::size_t initial_capacity = kInitialProcessListCapacity);
// Full path of the program a process runs (its first module); "" when it cannot be read.
std::wstring ProcessProgramPath(DWORD process_id);

// [APPLICATION] Application, trimmed.
std::wstring MainProgramName();
// The main program's full path: a name without ":" lies in the application
// folder (the configuration folder).
std::wstring MainProgramFullPath();

// True when the module path is the program that `program_name` names: compared
// in lower case, the path ends with the name at a folder boundary. An empty
// name names no program.
bool ModulePathRunsProgram(const std::wstring& module_path, const std::wstring& program_name);
// Processes other than this one whose program is `program_name`.
std::vector<DWORD> ProcessesRunning(const std::wstring& program_name);

// Collects top-level windows that the test accepts, up to a fixed capacity.
class CWindowIterator {
 public:
  explicit CWindowIterator(std::size_t capacity) : capacity_(capacity) {}
  virtual ~CWindowIterator() = default;
  CWindowIterator(const CWindowIterator&) = delete;
  CWindowIterator& operator=(const CWindowIterator&) = delete;

  // Walks every top-level window of the desktop once.
  void Collect();
  const std::vector<HWND>& Windows() const { return windows_; }

 protected:
  // Called for each enumerated window: appends it when accepted and there is room.
  virtual void OnWindow(HWND window);
  virtual bool Accepts(HWND window) const = 0;

 private:
  static BOOL CALLBACK EnumerateProc(HWND window, LPARAM self);

  std::size_t capacity_;
  std::vector<HWND> windows_;
};

// The visible windows of one process.
class CMainWindowIterator : public CWindowIterator {
 public:
  static constexpr std::size_t kCapacity = 1024;
  explicit CMainWindowIterator(DWORD process_id) : CWindowIterator(kCapacity), process_id_(process_id) {}

 protected:
  bool Accepts(HWND window) const override;

 private:
  DWORD process_id_;
};

// Asks one top-level window of `process_id` to close: a window that refuses
// the end-of-session query (or does not answer it in time) is left alone;
// otherwise it gets WM_CLOSE and WM_QUIT, and its process is terminated when
// it has not ended after the grace period. True when the window is gone or its
// process has ended.
bool CloseProcessWindow(HWND window, DWORD process_id);

// True when no process runs the main program. Shows the outcome on `window`'s
// status line (may be null) and logs it.
bool IsMainProgramClosed(HWND window);
// Closes every parentless visible window of every process that runs the main
// program. Windows that refuse keep running; the locked-file check then finds
// their files.
void CloseMainProgram(HWND window);

// Status line helpers of the installation checks: `window` may be null.
void ShowStatusLine(HWND window, const std::wstring& text);
void ShowAndLog(HWND window, const std::wstring& text);

}  // namespace tarvolin
