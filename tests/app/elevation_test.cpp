#include "app/elevation.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/run_modes.h"
#include "common/files.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "config/log.h"
#include "install/rights_list.h"
#include "pipeline/download_list.h"
#include "status/status_protocol.h"
#include "status/status_windows.h"
#include "status/update_status.h"
#include "support/configuration_fixture.h"
#include "support/process.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

TEST(Elevation, ParametersCarryTheMarker) {
  EXPECT_EQ(ElevatedParameters(L"silence"), L"silence /___runas_admin___");
  EXPECT_EQ(ElevatedParameters(L""), L"/___runas_admin___");
}

TEST(Elevation, HandOverFileRestoresTheWholeList) {
  testing::TempFolder folder;
  DownLoadList& list = CurrentDownLoadList();
  updatefileinfo a;
  a.path = L"bin\\book.exe";
  a.version = L"2.0";
  a.url = L"http://h/book.exe";
  a.action = ActionRun;
  updatefileinfo b;
  b.path = L"data\\pages.dat";
  b.version = L"7";
  b.dstName = L"{app}copy.dat";
  list.SetRecords({a, b});
  list.SetDescription(L"What is new\r\n");
  list.SetTasks({L"run9x.exe", L"del9old.txt"});
  SetStatus(UpdateDownloadOk, nullptr);
  DownloadListValues saved = list.Snapshot();

  std::wstring path = folder / L"handover.lst";
  ASSERT_TRUE(WriteWholeFile(path, SerializeDownloadList(saved)));
  list.SetRecords({});
  list.SetDescription(L"");
  list.SetTasks({});

  EXPECT_EQ(LoadHandOverList(path), 2);
  EXPECT_EQ(list.Snapshot(), saved);
  EXPECT_EQ(RecordsToUpdate(), 2);

  // A damaged or missing file hands nothing over and leaves the list alone.
  ASSERT_TRUE(WriteWholeFile(path, "TVDL garbage"));
  EXPECT_EQ(LoadHandOverList(path), 0);
  EXPECT_EQ(LoadHandOverList(folder / L"missing.lst"), 0);
  EXPECT_EQ(list.Count(), 2);
  list.SetRecords({});
  SetStatus(UpdateNone, nullptr);
}

bool FileAppears(const std::wstring& path, DWORD timeout_ms) {
  for (DWORD waited = 0; waited < timeout_ms && !FileExists(path); waited += 50) ::Sleep(50);
  return FileExists(path);
}

// A window of the test thread that writes down every status it is told.
class StatusRecorder {
 public:
  StatusRecorder() {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &Procedure;
    window_class.hInstance = ::GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"TarvolinElevationStatusRecorder";
    ::RegisterClassW(&window_class);
    window_ = ::CreateWindowW(window_class.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                              window_class.hInstance, nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~StatusRecorder() { ::DestroyWindow(window_); }
  HWND window() const { return window_; }
  const std::vector<int>& statuses() const { return statuses_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<StatusRecorder*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == status_protocol::kStatusChangedMessage) self->statuses_.push_back(static_cast<int>(wparam));
    return ::DefWindowProcW(window, message, wparam, lparam);
  }
  HWND window_ = nullptr;
  std::vector<int> statuses_;
};

// The silent run reaches files that need administrator rights. Wine cannot
// refuse an elevation prompt, so the shell start is handed in: it refuses,
// fails, or starts the elevated copy. Without a copy to carry on, the run must
// end the way a failed copy ends (status 11, then 13 and the book), with a
// line in the log, not return quietly with nothing announced.
TEST(Elevation, ARefusedOrFailedRelaunchEndsTheSilentRunAsAFailedCopy) {
  struct Case {
    const char* what;
    unsigned long start_error;
    const wchar_t* log_line;  // null: the elevated copy took the run over
  } cases[] = {
      {"prompt refused", ERROR_CANCELLED, L"administrator rights were refused (error 1223)"},
      {"start failed", ERROR_FILE_NOT_FOUND, L"cannot start as administrator (error 2)"},
      {"elevated copy started", ERROR_SUCCESS, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::ScopedConfigurationFolder config;
    config.WriteIni(L"[Tarvolin]\r\nLog=inst.log\r\n[APPLICATION]\r\nApplication=book.exe\r\n");
    const std::wstring book = config / L"book.exe";
    ASSERT_TRUE(::CopyFileW((testing::BuildOutputFolder() + L"\\status_event_marker.exe").c_str(), book.c_str(), FALSE));
    SetElevatedRun(false);
    RightsList().Clear();
    RightsList().Add(config / L"protected.dat");
    CurrentDownLoadList().SetRecords({{.path = L"protected.dat", .version = L"2"}});
    SetStatus(UpdateCheckLocalError, nullptr);  // as the local check leaves it
    StatusRecorder recorder;
    RegisterStatusWindow(recorder.window());

    int starts = 0;
    std::wstring parameters;
    std::wstring start_folder;
    EXPECT_EQ(RunSilent(nullptr,
                        [&](const std::wstring&, const std::wstring& given, const std::wstring& folder) {
                          ++starts;
                          parameters = given;
                          start_folder = folder;
                          return c.start_error;
                        }),
              1);

    EXPECT_EQ(starts, 1);
    EXPECT_EQ(parameters, L"/___runas_admin___");
    // The program's own folder (here the test's), never the reader-writable book folder.
    std::wstring own_folder = testing::BuildOutputFolder();
    while (!start_folder.empty() && start_folder.back() == L'\\') start_folder.pop_back();
    while (!own_folder.empty() && own_folder.back() == L'\\') own_folder.pop_back();
    EXPECT_EQ(ToLower(start_folder), ToLower(own_folder));
    const std::wstring log = testing::ReadTextFile(config / L"inst.log");
    EXPECT_NE(log.find(L"continue update as administrator"), std::wstring::npos) << log;
    if (c.log_line) {
      EXPECT_EQ(recorder.statuses(), (std::vector<int>{UpdateCopyError, UpdateEnd}));
      EXPECT_NE(log.find(c.log_line), std::wstring::npos) << log;
      EXPECT_FALSE(FileExists(HandOverFilePath())) << "nobody is left to read it";
      EXPECT_TRUE(RunParameters().Get(kRunAsAdminKey).empty());
      EXPECT_TRUE(FileAppears(book + L".ran", 10000)) << "the book was not started";
    } else {
      EXPECT_TRUE(recorder.statuses().empty()) << "the elevated copy announces the rest";
      EXPECT_TRUE(FileExists(HandOverFilePath()));
      EXPECT_EQ(RunParameters().Get(kRunAsAdminKey), L"___runas_admin___");
      ::Sleep(1500);  // long enough for a started book to leave its mark
      EXPECT_FALSE(FileExists(book + L".ran"));
    }

    ReleaseStatusWindows();
    ::DeleteFileW(HandOverFilePath().c_str());
    RightsList().Clear();
    CurrentDownLoadList().SetRecords({});
    SetStatus(UpdateNone, nullptr);
  }
}

}  // namespace
}  // namespace tarvolin
