// The process-wide values that every subsystem shares. They are created at
// start-up and live until exit; nothing else in the program is global.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "common/ini_text.h"
#include "common/thread_pool.h"

namespace tarvolin {

// Named values shared by all subsystems; keys compare case-sensitively.
// Worker threads read and write it too, so every access takes the lock.
class RunParameterTable {
 public:
  std::wstring Get(const std::wstring& key) const;
  // The stored value, or nothing when the key was never stored.
  std::optional<std::wstring> Find(const std::wstring& key) const;
  void Set(const std::wstring& key, const std::wstring& value);
  void Clear();

 private:
  mutable std::mutex guard_;
  std::map<std::wstring, std::wstring> values_;
};

RunParameterTable& RunParameters();

// The host program's window from the command line (null when none).
HWND HostWindow();
void SetHostWindow(HWND window);

// True in the elevated relaunch ("___runas_admin___" on the command line).
bool ElevatedRun();
void SetElevatedRun(bool elevated);

// The executable's own file name without folder and extension.
std::wstring ExeBaseName();
void SetExeBaseName(const std::wstring& name);

// Connection attempt limit of the transfers, read once at start-up.
int ConnectTryCount();
void SetConnectTryCount(int count);

// Set when the reader chose to quit (or the host window went): workers stop
// at their next stage and no later window waits on it.
bool QuitRequested();
void SetQuitRequested(bool quit);

// The host window's full update runs once per process at a time: true when
// this caller may start it, and then EndFullUpdate() must follow.
bool TryBeginFullUpdate();
void EndFullUpdate();

// The machine's current and previous identity codes, computed once at start-up;
// "000000000" until then and whenever they cannot be read.
inline constexpr wchar_t kUnknownMachineId[] = L"000000000";
std::wstring MachineID();
std::wstring OldMachineID();
void SetMachineIds(const std::wstring& current, const std::wstring& previous);

// The configuration as checked once and held in memory: when there is one, the
// settings layer reads tarvolin.ini from it, never from the file again. Null
// until a run seals its configuration.
std::shared_ptr<const IniText> SealedConfiguration();
void SealConfiguration(std::shared_ptr<const IniText> configuration);

// Storage behind ConfigurationFolder()/SetConfigurationFolder() of the settings layer.
std::wstring StoredConfigurationFolder();
void StoreConfigurationFolder(const std::wstring& folder);

// The threads that downloads run on: files of a pass and blocks of a file
// are tasks on threads that are kept for the next one.
ThreadPool& TransferThreads();

}  // namespace tarvolin
