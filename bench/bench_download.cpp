// Benchmark driver. Prints one line: "seconds=<s> peak_mb=<MiB> ok=<0|1>".
//   bench_download file <url> <target> <threads>
//   bench_download list <base url> <list file of relative paths> <work folder> <files at once> <threads per file>
//   bench_download digest <sha256|md5> <file>   (the check a downloaded file gets before it is parked)
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/platform_crypto.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "config/settings.h"
#include "download/file_downloader.h"
#include "pipeline/download_list.h"
#include "pipeline/scheduler.h"
#include "status/update_status.h"
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args(argv + 1, argv + argc);
  if (args.size() == 4 && args[0] == L"file") return RunFile(args[1], args[2], std::stoi(args[3]));
  if (args.size() == 3 && args[0] == L"digest") return RunDigest(args[1], args[2]);
  if (args.size() == 6 && args[0] == L"list") return RunList(args[1], args[2], args[3], args[4], args[5]);
  std::fprintf(stderr, "usage: bench_download file <url> <target> <threads> | list <base> <list> <work> <files> <threads>"
                       " | digest <sha256|md5> <file>\n");
  return 2;
}
