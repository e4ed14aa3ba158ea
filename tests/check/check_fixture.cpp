#include "check_fixture.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "common/files.h"
#include "common/text_encoding.h"
#include "pipeline/download_list.h"
#include "status/status_protocol.h"
#include "status/status_windows.h"
#include "status/update_status.h"
#include "support/publisher_client.h"
#include "updatelist/list_cache_name.h"
#include "updatelist/list_retrieval.h"
#include "common/window_texts.h"

namespace tarvolin::testing {
namespace {

constexpr wchar_t kReportClass[] = L"TarvolinCheckReport";

}  // namespace

std::string Narrow(const std::wstring& text) { return WideToUtf8(text); }
std::wstring Widen(const std::string& text) { return Utf8ToWide(text); }

ReportWindow::ReportWindow(HWND parent) {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &Proc;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = kReportClass;
  ::RegisterClassW(&window_class);
  window_ = ::CreateWindowW(kReportClass, L"", parent ? WS_CHILD : WS_OVERLAPPED, 0, 0, 10, 10, parent, nullptr,
                            window_class.hInstance, nullptr);
  ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

ReportWindow::~ReportWindow() {
  ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  ::DestroyWindow(window_);
}

void ReportWindow::Pump() const {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
}

LRESULT CALLBACK ReportWindow::Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<ReportWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self) {
    namespace sp = status_protocol;
    if (message == sp::kStatusTextMessage) {
      if (auto text = ParkedText(message, wparam)) self->texts.push_back(*text);
    }
    if (message == sp::kStatusChangedMessage) self->statuses.push_back(static_cast<int>(wparam));
    if (message == sp::kStatusDescriptionMessage && lparam)
      self->descriptions.emplace_back(reinterpret_cast<const wchar_t*>(lparam));
    if (message == WM_COMMAND) self->commands.push_back(LOWORD(wparam));
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

void CheckTest::SetUp() {
  ASSERT_TRUE(PublisherAvailable());
  ASSERT_TRUE(ResetPublisher());
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  prefix_ = std::string("/check/") + info->test_suite_name() + "/" + info->name() + "/";
  SetStatus(UpdateNone, nullptr);
  CurrentDownLoadList().Restore({});
  ClearProbeResults();
  SetListFileOverride(L"");
  SetBookServiceBase(PublisherUrl());
  ASSERT_TRUE(SetPostReply(R"({"path": "/DigitalLibrary/ajax.aspx", "status": 200, "body": "{\"result\":1}"})"));
}

void CheckTest::TearDown() {
  ReleaseStatusWindows();
  SetStatus(UpdateNone, nullptr);
  CurrentDownLoadList().Restore({});
  ClearProbeResults();
  SetListFileOverride(L"");
}

void CheckTest::WriteConfiguration(const std::wstring& extra, const std::string& list_name) const {
  config_.WriteIni(L"[Tarvolin]\r\nTempAppPath=1\r\nQuickCheck=0\r\n"
                   L"[UPDATEINFO]\r\nListURL=" + UrlOf(list_name) + L"\r\nMainListURL=" + UrlOf("main.xml") +
                   L"\r\n[APPLICATION]\r\nApplication=book.exe\r\nEBookID=77\r\n" + extra);
}

std::wstring CheckTest::UrlOf(const std::string& name) const { return PublisherUrl() + Widen(PathOf(name)); }

void CheckTest::Publish(const std::string& name, const std::string& bytes) const {
  ASSERT_TRUE(PutPublishedFile(PathOf(name), bytes)) << name;
}

void CheckTest::WriteInstalledList(const std::string& xml) const {
  ASSERT_TRUE(WriteWholeFile(config_ / L"tarvolin.xml", xml));
}

std::vector<std::wstring> CheckTest::DuePaths() {
  std::vector<std::wstring> paths;
  for (const auto& record : CurrentDownLoadList().Records()) paths.push_back(record.path);
  return paths;
}

bool Contains(const std::vector<std::wstring>& texts, const std::wstring& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

void RunOnWorkerPumping(const std::function<void()>& work) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    work();
    done = true;
  });
  while (!done) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  worker.join();
}

}  // namespace tarvolin::testing
