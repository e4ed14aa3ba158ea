#include "transfer_fixture.h"

#include <thread>

#include "common/files.h"
#include "common/process_state.h"
#include "common/strings.h"
#include "common/text_encoding.h"
#include "status/status_windows.h"

namespace tarvolin::testing {
namespace {
constexpr wchar_t kRecorderClass[] = L"TarvolinTransferRecorder";
}  // namespace

ProgressRecorder::ProgressRecorder() {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &ProgressRecorder::Procedure;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = kRecorderClass;
  ::RegisterClassW(&window_class);  // a second registration fails harmlessly
  window_ = ::CreateWindowExW(0, kRecorderClass, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                              ::GetModuleHandleW(nullptr), this);
}

ProgressRecorder::~ProgressRecorder() {
  if (window_) ::DestroyWindow(window_);
}

std::vector<RecordedMessage> ProgressRecorder::Messages() const {
  std::lock_guard<std::mutex> hold(guard_);
  return messages_;
}

std::vector<RecordedMessage> ProgressRecorder::Messages(UINT message) const {
  std::vector<RecordedMessage> chosen;
  for (const RecordedMessage& m : Messages()) {
    if (m.message == message) chosen.push_back(m);
  }
  return chosen;
}

LRESULT CALLBACK ProgressRecorder::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<ProgressRecorder*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self && message >= WM_USER) {
    std::lock_guard<std::mutex> hold(self->guard_);
    self->messages_.push_back({message, wparam, lparam});
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

void RunPumping(const std::function<void()>& work) {
  HANDLE done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread worker([&] {
    work();
    ::SetEvent(done);
  });
  for (;;) {
    DWORD woke = ::MsgWaitForMultipleObjects(1, &done, FALSE, INFINITE, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0) break;
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  worker.join();
  ::CloseHandle(done);
}

std::string PatternBytes(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (auto& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<char>(state >> 16);
  }
  return bytes;
}

std::wstring UrlOf(const std::wstring& base, const std::string& path) { return base + Utf8ToWide(path); }

void TransferTest::SetUp() {
  ASSERT_TRUE(PublisherAvailable());
  ASSERT_TRUE(ResetPublisher());
  saved_try_count_ = ConnectTryCount();
  SetConnectTryCount(3);
}

void TransferTest::TearDown() {
  SetConnectTryCount(saved_try_count_);
  ReleaseStatusWindows();
  ResetPublisher();
}

void TransferTest::Publish(const std::string& path, const std::string& bytes) {
  ASSERT_TRUE(PutPublishedFile(path, bytes)) << path;
}

std::vector<PublisherRequest> TransferTest::RequestsBy(const std::string& agent_prefix) {
  std::vector<PublisherRequest> chosen;
  for (const PublisherRequest& request : PublisherLog()) {
    if (request.user_agent.rfind(agent_prefix, 0) == 0) chosen.push_back(request);
  }
  return chosen;
}

bool TransferTest::NoPartFiles(const std::wstring& target, int count) {
  for (int i = 0; i < count; ++i) {
    if (FileExists(FormatWide(L"%ls.part%d", target.c_str(), i))) return false;
  }
  return true;
}

}  // namespace tarvolin::testing
