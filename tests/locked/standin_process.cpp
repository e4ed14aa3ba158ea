#include "standin_process.h"

#include <atomic>
#include <vector>

#include "common/strings.h"
#include "support/process.h"

namespace tarvolin::testing {
namespace {

constexpr DWORD kReadyTimeoutMs = 30000;
constexpr DWORD kCleanupWaitMs = 10000;

std::wstring UniqueEventName(const wchar_t* role) {
  static std::atomic<int> counter{0};
  return FormatWide(L"tarvolin.locked.%ls.%lu.%d", role, ::GetCurrentProcessId(), ++counter);
}

}  // namespace

std::wstring StandInProgram() { return BuildOutputFolder() + L"\\locked_standin.exe"; }

StandIn::StandIn()
    : ready_name_(UniqueEventName(L"ready")),
      release_name_(UniqueEventName(L"release")),
      ready_(::CreateEventW(nullptr, TRUE, FALSE, ready_name_.c_str())),
      release_(::CreateEventW(nullptr, TRUE, FALSE, release_name_.c_str())) {}

StandIn::~StandIn() {
  Release();
  if (process_ && ::WaitForSingleObject(process_.get(), kCleanupWaitMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process_.get(), 1);
    ::WaitForSingleObject(process_.get(), kCleanupWaitMs);
  }
}

bool StandIn::Start(const std::wstring& program, const std::wstring& arguments) {
  std::wstring command_line = L"\"" + program + L"\" " + arguments;
  std::vector<wchar_t> mutable_line(command_line.begin(), command_line.end());
  mutable_line.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(program.c_str(), mutable_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
    return false;
  process_.reset(info.hProcess);
  unique_handle thread(info.hThread);
  id_ = info.dwProcessId;
  HANDLE waits[] = {ready_.get(), process_.get()};
  return ::WaitForMultipleObjects(2, waits, FALSE, kReadyTimeoutMs) == WAIT_OBJECT_0;
}

bool StandIn::Running() const { return process_ && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

void StandIn::Release() {
  if (release_) ::SetEvent(release_.get());
}

std::optional<DWORD> StandIn::WaitForExit(DWORD timeout_ms) {
  if (!process_ || ::WaitForSingleObject(process_.get(), timeout_ms) != WAIT_OBJECT_0) return std::nullopt;
  DWORD code = 0;
  ::GetExitCodeProcess(process_.get(), &code);
  return code;
}

}  // namespace tarvolin::testing
