#include "common/process_state.h"

#include <atomic>

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
  RunParameterTable run_parameters;
  std::atomic<HWND> host_window{nullptr};
  std::atomic<bool> elevated_run{false};
  std::atomic<int> connect_try_count{3};
  std::atomic<unsigned long> last_archive_result{0};
  std::mutex text_guard;
  std::wstring exe_base_name;
  std::wstring configuration_folder;
};

ProcessState& State() {
  static ProcessState state;
  return state;
}

}  // namespace

RunParameterTable& RunParameters() { return State().run_parameters; }

HWND HostWindow() { return State().host_window.load(); }
void SetHostWindow(HWND window) { State().host_window = window; }

bool ElevatedRun() { return State().elevated_run.load(); }
void SetElevatedRun(bool elevated) { State().elevated_run = elevated; }

std::wstring ExeBaseName() {
  std::lock_guard<std::mutex> hold(State().text_guard);
  return State().exe_base_name;
}
void SetExeBaseName(const std::wstring& name) {
  std::lock_guard<std::mutex> hold(State().text_guard);
  State().exe_base_name = name;
}

int ConnectTryCount() { return State().connect_try_count.load(); }
void SetConnectTryCount(int count) { State().connect_try_count = count; }

std::wstring StoredConfigurationFolder() {
  std::lock_guard<std::mutex> hold(State().text_guard);
  return State().configuration_folder;
}
void StoreConfigurationFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> hold(State().text_guard);
  State().configuration_folder = folder;
}

unsigned long LastArchiveResultCode() { return State().last_archive_result.load(); }
void SetLastArchiveResultCode(unsigned long code) { State().last_archive_result = code; }

}  // namespace tarvolin
