#include "status_host_process.h"

#include <cstdio>
#include <vector>

#include "common/files.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "status_host_commands.h"
#include "support/process.h"

namespace tarvolin::testing {
namespace {

constexpr DWORD kStartTimeoutMs = 30000;
constexpr DWORD kQuitTimeoutMs = 15000;
constexpr wchar_t kHostProgram[] = L"status_test_host.exe";

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

}  // namespace

bool CopyHelperProgram(const std::wstring& name, const std::wstring& target) {
  return ::CopyFileW((BuildOutputFolder() + L"\\" + name).c_str(), target.c_str(), FALSE) != FALSE;
}

StatusHostProcess::StatusHostProcess() {
  const std::wstring ready = folder_ / L"ready.txt";
  std::wstring command = Quoted(BuildOutputFolder() + L"\\" + kHostProgram) + L" " + Quoted(folder_ / L"record.txt") +
                         L" " + Quoted(ready);
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return;
  process_.reset(info.hProcess);
  unique_handle thread(info.hThread);
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < kStartTimeoutMs) {
    if (FileExists(ready)) {
      std::wstring text = ReadTextFile(ready);
      HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(ParseDecimal(text)));
      if (::IsWindow(window)) {
        window_ = window;
        return;
      }
      std::fprintf(stderr, "status host ready file holds \"%ls\", no window yet\n", text.c_str());
    }
    if (::WaitForSingleObject(process_.get(), 20) == WAIT_OBJECT_0) {
      DWORD code = 0;
      ::GetExitCodeProcess(process_.get(), &code);
      std::fprintf(stderr, "status host ended with %lu before its window was ready\n", code);
      return;
    }
  }
}

StatusHostProcess::~StatusHostProcess() {
  if (!Quit() && process_) ::TerminateProcess(process_.get(), 1);
}

void StatusHostProcess::Tell(UINT command) const { ::SendMessageW(window_, command, 0, 0); }

bool StatusHostProcess::Quit() {
  if (!process_) return false;
  if (::IsWindow(window_)) ::PostMessageW(window_, status_host::kQuit, 0, 0);
  return ::WaitForSingleObject(process_.get(), kQuitTimeoutMs) == WAIT_OBJECT_0;
}

std::vector<std::wstring> StatusHostProcess::Records() const {
  std::wstring text = Utf8ToWide(ReadWholeFile(folder_ / L"record.txt").value_or(""));
  std::vector<std::wstring> lines = Split(text, L'\n');
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

}  // namespace tarvolin::testing
