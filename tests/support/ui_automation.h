// Answers message boxes the way a person would: finds a box by its caption,
// remembers its text and presses one of its buttons.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarvolin::testing {

struct SeenDialog {
  std::wstring caption;
  std::wstring text;
  DWORD process_id = 0;
};

// While alive, presses `button_id` (IDOK, IDYES, ...) on every dialog box
// whose caption equals `caption`, in any process of the session.
class DialogAnswerer {
 public:
  DialogAnswerer(std::wstring caption, int button_id);
  ~DialogAnswerer();
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  std::vector<SeenDialog> Seen() const;
  // Waits up to `timeout_ms` for the first answered box.
  bool WaitForFirst(DWORD timeout_ms) const;

 private:
  void Poll();

  std::wstring caption_;
  int button_id_;
  std::atomic<bool> stop_{false};
  mutable std::mutex guard_;
  std::vector<SeenDialog> seen_;
  std::vector<HWND> answered_;
  std::thread poller_;
};

// The text of a message box: its static control with id 0xFFFF.
std::wstring MessageBoxText(HWND box);

}  // namespace tarvolin::testing
