#include "support/ui_automation.h"

#include <algorithm>

namespace tarvolin::testing {
namespace {

std::wstring WindowText(HWND window) {
  wchar_t buffer[4096] = {};
  ::GetWindowTextW(window, buffer, 4096);
  return buffer;
}

struct Search {
  const std::wstring* caption;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  wchar_t class_name[64] = {};
  ::GetClassNameW(window, class_name, 64);
  if (std::wstring(class_name) == L"#32770" && ::IsWindowVisible(window) && WindowText(window) == *search->caption)
    search->found.push_back(window);
  return TRUE;
}

}  // namespace

std::wstring MessageBoxText(HWND box) {
  HWND text = ::GetDlgItem(box, 0xFFFF);
  return text ? WindowText(text) : std::wstring();
}

DialogAnswerer::DialogAnswerer(std::wstring caption, int button_id)
    : caption_(std::move(caption)), button_id_(button_id), poller_([this] { Poll(); }) {}

DialogAnswerer::~DialogAnswerer() {
  stop_ = true;
  poller_.join();
}

void DialogAnswerer::Poll() {
  while (!stop_) {
    Search search{&caption_, {}};
    ::EnumWindows(&CollectDialog, reinterpret_cast<LPARAM>(&search));
    for (HWND box : search.found) {
      {
        std::lock_guard<std::mutex> hold(guard_);
        if (std::find(answered_.begin(), answered_.end(), box) != answered_.end()) continue;
        SeenDialog seen{caption_, MessageBoxText(box), 0};
        ::GetWindowThreadProcessId(box, &seen.process_id);
        seen_.push_back(seen);
        answered_.push_back(box);
      }
      ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button_id_, BN_CLICKED),
                     reinterpret_cast<LPARAM>(::GetDlgItem(box, button_id_)));
    }
    ::Sleep(50);
  }
}

std::vector<SeenDialog> DialogAnswerer::Seen() const {
  std::lock_guard<std::mutex> hold(guard_);
  return seen_;
}

bool DialogAnswerer::WaitForFirst(DWORD timeout_ms) const {
  for (DWORD waited = 0; waited <= timeout_ms; waited += 50) {
    if (!Seen().empty()) return true;
    ::Sleep(50);
  }
  return false;
}

}  // namespace tarvolin::testing
