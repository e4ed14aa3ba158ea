// Benchmark driver. Prints one line: "seconds=<s> peak_mb=<MiB> ok=<0|1>".
//   bench_download file <url> <target> <threads>
//   bench_download list <base url> <list file of relative paths> <work folder> <files at once> <threads per file>
//   bench_download digest <sha256|md5> <file>   (the check a downloaded file gets before it is parked)
//   bench_download check <base url> <work folder>   (the update check with nothing due: book list,
//                                                     book service, template list)
//   bench_download patch <installed file> <patch> <output>   (the apply step of a patched file)
//   bench_download update <program>   (the program's silent update, started as a host program starts it;
//                                      the line also says "code=<its exit code>" and the seconds of its
//                                      download and copy stages, "download_s=" and "copy_s=", -1 if none)
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "archive/patch_file.h"
#include "common/files.h"
#include "common/platform_crypto.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "common/unique_handle.h"
#include "config/settings.h"
#include "download/file_downloader.h"
#include "pipeline/check_procedure.h"
#include "pipeline/download_list.h"
#include "pipeline/scheduler.h"
#include "status/status_numbers.h"
#include "status/status_protocol.h"
#include "status/update_status.h"
#include "updatelist/list_retrieval.h"
#include "updatelist/list_url.h"

using namespace tarvolin;

namespace {

double PeakMegabytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

int Report(std::chrono::steady_clock::time_point start, bool ok) {
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("seconds=%.3f peak_mb=%.1f ok=%d\n", seconds, PeakMegabytes(), ok ? 1 : 0);
  return ok ? 0 : 1;
}

int RunFile(const std::wstring& url, const std::wstring& target, int threads) {
  auto start = std::chrono::steady_clock::now();
  bool ok = DownloadFile(url, target, threads, 0, nullptr) == 0;
  return Report(start, ok);
}

int RunList(const std::wstring& base, const std::wstring& list_file, const std::wstring& work, const std::wstring& files_at_once,
            const std::wstring& threads_per_file) {
  SetConfigurationFolder(work + L"\\");
  WriteWholeFile(work + L"\\tarvolin.ini", WideToAnsi(L"[Tarvolin]\r\nTempAppPath=1\r\nLog=bench.log\r\n[UPDATEINFO]\r\nListURL=" + base +
                                                      L"/tarvolin.xml\r\n"));
  RunParameters().Set(L"threadcount", files_at_once);
  RunParameters().Set(L"filethread", threads_per_file);
  SetListUrlBase(base + L"/tarvolin.xml");
  std::vector<updatefileinfo> records;
  for (const auto& line : Split(AnsiToWide(ReadWholeFile(list_file).value_or("")), L'\n')) {
    std::wstring path = Trim(line);
    if (path.empty()) continue;
    updatefileinfo record;
    record.path = path;
    record.version = L"1";
    records.push_back(record);
  }
  CurrentDownLoadList().SetRecords(records);
  SetStatus(UpdateCheckRemoteOk, nullptr);
  auto start = std::chrono::steady_clock::now();
  DownloadAll(nullptr);
  return Report(start, CurrentStatus() == UpdateDownloadOk);
}

int RunDigest(const std::wstring& kind, const std::wstring& path) {
  auto start = std::chrono::steady_clock::now();
  bool ok = DigestOfFile(kind == L"md5" ? DigestKind::kMd5 : DigestKind::kSha256, path).has_value();
  return Report(start, ok);
}

int RunPatch(const std::wstring& installed, const std::wstring& patch, const std::wstring& output) {
  auto start = std::chrono::steady_clock::now();
  bool ok = ApplyPatchFile(installed, patch, output) == PatchOutcome::kApplied;
  return Report(start, ok);
}

using Clock = std::chrono::steady_clock;

// The window a host program gives the updater to report to. It notes when each
// status was first announced, so that a run can be split into its stages.
class HostWindow {
 public:
  HostWindow() {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &HostWindow::Proc;
    window_class.lpszClassName = L"BenchHostWindow";
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    ::RegisterClassW(&window_class);
    window_ = ::CreateWindowW(L"BenchHostWindow", L"bench host", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                              nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~HostWindow() { ::DestroyWindow(window_); }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;
  HWND get() const { return window_; }
  // Seconds from the first `from` to the first `to` announced; -1 when either never came.
  double Between(int from, int to) const {
    const auto begin = seen_.find(from), end = seen_.find(to);
    if (begin == seen_.end() || end == seen_.end()) return -1;
    return std::chrono::duration<double>(end->second - begin->second).count();
  }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == status_protocol::kStatusChangedMessage) {
      auto* host = reinterpret_cast<HostWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
      if (host) host->seen_.emplace(static_cast<int>(wparam), Clock::now());
      return 0;
    }
    return ::DefWindowProcW(window, message, wparam, lparam);
  }
  HWND window_ = nullptr;
  std::map<int, Clock::time_point> seen_;
};

// Start to exit of "<program> silence <window>", the window's messages pumped
// meanwhile; also the download stage (UpdateDownload to UpdateDownloadOk) and
// the copy stage (UpdateCopy to UpdateCopyOk) as the program announced them.
int RunUpdate(const std::wstring& program) {
  HostWindow host;
  std::wstring command = L"\"" + program + L"\" silence " +
                         std::to_wstring(reinterpret_cast<std::uintptr_t>(host.get()));
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  auto start = Clock::now();
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return Report(start, false);
  unique_handle process(info.hProcess);
  unique_handle thread(info.hThread);
  for (;;) {
    DWORD woke = ::MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, INFINITE, QS_ALLINPUT);
    if (woke != WAIT_OBJECT_0 + 1) break;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  }
  DWORD code = 0;
  bool ok = ::GetExitCodeProcess(info.hProcess, &code) != 0;
  std::printf("code=%lu download_s=%.3f copy_s=%.3f ", static_cast<unsigned long>(code),
              host.Between(UpdateDownload, UpdateDownloadOk), host.Between(UpdateCopy, UpdateCopyOk));
  return Report(start, ok);
}

// The lists the benchmark's server publishes at <base>/check/: everything in
// them is installed already, so the check ends with nothing to do.
int RunCheck(const std::wstring& base, const std::wstring& work) {
  SetConfigurationFolder(work + L"\\");
  WriteWholeFile(work + L"\\tarvolin.ini",
                 WideToAnsi(L"[Tarvolin]\r\nTempAppPath=1\r\nQuickCheck=0\r\nLog=bench.log\r\n[UPDATEINFO]\r\nListURL=" + base +
                            L"/check/tarvolin.xml\r\nMainListURL=" + base +
                            L"/check/main.xml\r\n[APPLICATION]\r\nApplication=book.exe\r\nEBookID=77\r\n"));
  WriteWholeFile(work + L"\\tarvolin.xml",
                 R"(<update><file path="a.dll" ver="1.0"/><file path="b.cfg" ver="1"/></update>)");
  SetBookServiceBase(base);
  auto start = std::chrono::steady_clock::now();
  CheckThreadProc(nullptr);
  return Report(start, CurrentStatus() == UpdateCheckRemoteOk && CurrentDownLoadList().Count() == 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == L"file") return RunFile(args[1], args[2], std::stoi(args[3]));
  if (args.size() == 3 && args[0] == L"digest") return RunDigest(args[1], args[2]);
  if (args.size() == 3 && args[0] == L"check") return RunCheck(args[1], args[2]);
  if (args.size() == 4 && args[0] == L"patch") return RunPatch(args[1], args[2], args[3]);
  if (args.size() == 2 && args[0] == L"update") return RunUpdate(args[1]);
  if (args.size() == 6 && args[0] == L"list") return RunList(args[1], args[2], args[3], args[4], args[5]);
  std::fprintf(stderr, "usage: bench_download file <url> <target> <threads> | list <base> <list> <work> <files> <threads>"
                       " | digest <sha256|md5> <file> | check <base> <work> | patch <installed> <patch> <output> | update <program>\n");
  return 2;
}
