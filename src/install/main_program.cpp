#include "install/main_program.h"

#include <psapi.h>

#include "common/grow_buffer.h"
#include "common/strings.h"
#include "common/unique_handle.h"
#include "config/log.h"
#include "config/settings.h"
#include "config/translation_loader.h"
#include "config/translation_table.h"
#include "status/status_protocol.h"
#include "status/status_windows.h"

namespace tarvolin {
namespace {

constexpr wchar_t kApplicationKey[] = L"Application";
constexpr wchar_t kNotClosedText[] = L"The main program has not closed";
constexpr wchar_t kClosedText[] = L"The main program has closed";

// A program that does not answer the end-of-session query this fast is treated as hung.
constexpr UINT kQueryEndSessionTimeoutMs = 100;
// Grace period between the close request and termination.
constexpr DWORD kCloseGraceMs = 5000;
// Termination is asynchronous; the file checks after it need the process gone.
constexpr DWORD kTerminationWaitMs = 5000;
constexpr std::size_t kInitialPathChars = MAX_PATH;

std::wstring FirstModulePath(HANDLE process) {
  const auto modules = ProcessModules(process);
  if (!modules || modules->empty()) return {};
  const HMODULE first = modules->front();
  const auto path = FillGrowingBuffer<wchar_t>(
      [&](wchar_t* data, std::size_t capacity) -> std::optional<std::size_t> {
        const DWORD copied = ::GetModuleFileNameExW(process, first, data, static_cast<DWORD>(capacity));
        if (copied == 0) return std::nullopt;
        // With its terminator; a cut-off answer fills the buffer and asks for more.
        return std::size_t{copied} + 1;
      },
      kInitialPathChars);
  if (!path) return {};
  return std::wstring(path->data(), path->size() - 1);
}

// A program of the other word size cannot have its modules read; its image name still can.
std::wstring ImagePath(DWORD process_id) {
  unique_handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
  if (!process) return {};
  std::vector<wchar_t> buffer(32768);
  DWORD size = static_cast<DWORD>(buffer.size());
  if (!::QueryFullProcessImageNameW(process.get(), 0, buffer.data(), &size)) return {};
  return std::wstring(buffer.data(), size);
}

}  // namespace

std::optional<std::vector<DWORD>> RunningProcessIds(std::size_t initial_capacity) {
  auto ids = FillGrowingBuffer<DWORD>(
      [](DWORD* data, std::size_t capacity) -> std::optional<std::size_t> {
        DWORD bytes = 0;
        if (!::EnumProcesses(data, static_cast<DWORD>(capacity * sizeof(DWORD)), &bytes)) return std::nullopt;
        // Only the bytes written are known, so a full buffer means "maybe more".
        return bytes / sizeof(DWORD);
      },
      initial_capacity);
  if (!ids) return std::nullopt;
  std::erase(*ids, DWORD{0});
  return ids;
}

std::optional<std::vector<HMODULE>> ProcessModules(HANDLE process, std::size_t initial_capacity) {
  return FillGrowingBuffer<HMODULE>(
      [process](HMODULE* data, std::size_t capacity) -> std::optional<std::size_t> {
        DWORD needed = 0;
        if (!::EnumProcessModules(process, data, static_cast<DWORD>(capacity * sizeof(HMODULE)), &needed))
          return std::nullopt;
        return needed / sizeof(HMODULE);
      },
      initial_capacity);
}

std::wstring ProcessProgramPath(DWORD process_id) {
  unique_handle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id));
  std::wstring path = process ? FirstModulePath(process.get()) : std::wstring();
  return path.empty() ? ImagePath(process_id) : path;
}

std::wstring MainProgramName() { return Trim(ReadSetting(sections::kApplication, kApplicationKey)); }

std::wstring MainProgramFullPath() {
  std::wstring name = MainProgramName();
  if (!Contains(name, L":")) name = ConfigurationFolder() + L"\\" + name;
  return CollapseBackslashes(name);
}

bool ModulePathRunsProgram(const std::wstring& module_path, const std::wstring& program_name) {
  const std::wstring name = CollapseBackslashes(ReplaceAll(ToLower(Trim(program_name)), L"/", L"\\"));
  const std::wstring path = ToLower(module_path);
  if (name.empty() || path.size() < name.size()) return false;
  const std::size_t start = path.size() - name.size();
  if (path.compare(start, name.size(), name) != 0) return false;
  // "book.exe" names neither "notebook.exe" nor "c:\ebook.exe".
  return start == 0 || path[start - 1] == L'\\' || name.front() == L'\\';
}

std::vector<DWORD> ProcessesRunning(const std::wstring& program_name) {
  std::vector<DWORD> running;
  const auto ids = RunningProcessIds();
  if (!ids) {
    WriteLog(FormatWide(L"Process list unavailable, error %lu", ::GetLastError()));
    return running;
  }
  const DWORD own_id = ::GetCurrentProcessId();
  for (DWORD id : *ids) {
    // The updater never closes itself, whatever the configuration names.
    if (id == own_id) continue;
    if (ModulePathRunsProgram(ProcessProgramPath(id), program_name)) running.push_back(id);
  }
  return running;
}

void CWindowIterator::Collect() {
  windows_.clear();
  ::EnumWindows(&CWindowIterator::EnumerateProc, reinterpret_cast<LPARAM>(this));
}

void CWindowIterator::OnWindow(HWND window) {
  if (Accepts(window) && windows_.size() < capacity_) windows_.push_back(window);
}

BOOL CALLBACK CWindowIterator::EnumerateProc(HWND window, LPARAM self) {
  reinterpret_cast<CWindowIterator*>(self)->OnWindow(window);
  return TRUE;
}

bool CMainWindowIterator::Accepts(HWND window) const {
  if ((::GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) == 0) return false;
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  return owner == process_id_;
}

bool CloseProcessWindow(HWND window, DWORD process_id) {
  if (!::IsWindow(window)) return true;
  DWORD_PTR answer = 0;
  if (!::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, kQueryEndSessionTimeoutMs, &answer) ||
      answer == 0) {
    WriteLog(FormatWide(L"Window %p of process %lu refused to close", static_cast<void*>(window), process_id));
    return false;
  }
  ::PostMessageW(window, WM_CLOSE, 0, 0);
  ::PostMessageW(window, WM_QUIT, 0, 0);
  unique_handle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, process_id));
  if (!process) return !::IsWindow(window);
  if (::WaitForSingleObject(process.get(), kCloseGraceMs) == WAIT_OBJECT_0) return true;
  WriteLog(FormatWide(L"Process %lu did not end after the close request; terminating it", process_id));
  ::TerminateProcess(process.get(), 0);
  return ::WaitForSingleObject(process.get(), kTerminationWaitMs) == WAIT_OBJECT_0;
}

bool IsMainProgramClosed(HWND window) {
  const std::wstring name = MainProgramName();
  if (!ProcessesRunning(name).empty()) {
    ShowAndLog(window, Translate(kNotClosedText) + L" " + name);
    return false;
  }
  ShowAndLog(window, Translate(kClosedText) + L"[" + name + L"]");
  return true;
}

void CloseMainProgram(HWND) {
  for (DWORD process_id : ProcessesRunning(MainProgramName())) {
    CMainWindowIterator windows(process_id);
    windows.Collect();
    for (HWND candidate : windows.Windows()) {
      if (::GetParent(candidate) == nullptr) CloseProcessWindow(candidate, process_id);
    }
  }
}

void ShowStatusLine(HWND window, const std::wstring& text) {
  if (window) SendStatusText(window, text, status_protocol::kNoProgress);
}

void ShowAndLog(HWND window, const std::wstring& text) {
  ShowStatusLine(window, text);
  WriteLog(text);
}

}  // namespace tarvolin
