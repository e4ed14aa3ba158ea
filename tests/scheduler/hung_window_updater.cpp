// Another updater whose window hangs: its main thread owns the window and
// never pumps, while its download pass sends the window a status text. The
// sending thread stays inside SendMessageW for as long as the process lives.
//
//   hung_window_updater <ready event name>
//
// The event is set just before the pass starts sending.
#include <windows.h>

#include <thread>

#include "common/unique_handle.h"
#include "pipeline/scheduler.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  tarvolin::unique_handle ready(::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]));
  if (!ready) return 2;
  HWND window = ::CreateWindowW(L"STATIC", L"hung", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  if (!window) return 2;
  std::thread sender([&] {
    ::SetEvent(ready.get());
    tarvolin::DownloadAll(window);
  });
  sender.detach();
  ::Sleep(INFINITE);  // no message is ever dispatched on this thread
  return 0;
}
