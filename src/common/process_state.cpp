#include "common/process_state.h"

#include <atomic>

#include "common/guarded.h"

namespace tarvolin {

std::wstring RunParameterTable::Get(const std::wstring& key) const { return Find(key).value_or(std::wstring()); }

std::optional<std::wstring> RunParameterTable::Find(const std::wstring& key) const {
  std::lock_guard<std::mutex> hold(guard_);
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

void RunParameterTable::Set(const std::wstring& key, const std::wstring& value) {
  std::lock_guard<std::mutex> hold(guard_);
  values_[key] = value;
}

void RunParameterTable::Clear() {
  std::lock_guard<std::mutex> hold(guard_);
  values_.clear();
}

namespace {

struct ProcessState {
  ProcessState() { SetIds(kUnknownMachineId, kUnknownMachineId); }
  void SetIds(const std::wstring& current, const std::wstring& previous) {
    machine_id.Set(current);
    old_machine_id.Set(previous);
  }

  RunParameterTable run_parameters;
  std::atomic<HWND> host_window{nullptr};
  std::atomic<bool> elevated_run{false};
  std::atomic<int> connect_try_count{3};
  std::atomic<bool> quit_requested{false};
  std::atomic<bool> full_update_busy{false};
  Guarded<std::wstring> exe_base_name;
  Guarded<std::wstring> configuration_folder;
  Guarded<std::wstring> machine_id;
  Guarded<std::wstring> old_machine_id;
  Guarded<std::shared_ptr<const IniText>> sealed_configuration;
  ThreadPool transfer_threads{std::chrono::seconds(10)};
};

ProcessState& State() {
  // Never destroyed: threads may still use it while the process ends.
  static ProcessState* state = new ProcessState;
  return *state;
}

}  // namespace

RunParameterTable& RunParameters() { return State().run_parameters; }

ThreadPool& TransferThreads() { return State().transfer_threads; }

HWND HostWindow() { return State().host_window.load(); }
void SetHostWindow(HWND window) { State().host_window = window; }

bool ElevatedRun() { return State().elevated_run.load(); }
void SetElevatedRun(bool elevated) { State().elevated_run = elevated; }

std::wstring ExeBaseName() { return State().exe_base_name.Get(); }
void SetExeBaseName(const std::wstring& name) { State().exe_base_name.Set(name); }

int ConnectTryCount() { return State().connect_try_count.load(); }
void SetConnectTryCount(int count) { State().connect_try_count = count; }

bool QuitRequested() { return State().quit_requested.load(); }
void SetQuitRequested(bool quit) { State().quit_requested = quit; }

bool TryBeginFullUpdate() { return !State().full_update_busy.exchange(true); }
void EndFullUpdate() { State().full_update_busy = false; }

std::wstring MachineID() { return State().machine_id.Get(); }
std::wstring OldMachineID() { return State().old_machine_id.Get(); }
void SetMachineIds(const std::wstring& current, const std::wstring& previous) { State().SetIds(current, previous); }

std::shared_ptr<const IniText> SealedConfiguration() { return State().sealed_configuration.Get(); }
void SealConfiguration(std::shared_ptr<const IniText> configuration) {
  State().sealed_configuration.Set(std::move(configuration));
}

std::wstring StoredConfigurationFolder() { return State().configuration_folder.Get(); }
void StoreConfigurationFolder(const std::wstring& folder) { State().configuration_folder.Set(folder); }

}  // namespace tarvolin
