// The base of the program's own window classes (as opposed to dialogs): the
// static window procedure stores `this` at WM_NCCREATE, forwards every later
// message to OnMessage, and forgets the object at WM_NCDESTROY.
// Thread affinity: an object is used only on the thread that created its window.
#pragma once

#include <windows.h>

namespace tarvolin {

class ChildWindow {
 public:
  ChildWindow() = default;
  virtual ~ChildWindow();
  ChildWindow(const ChildWindow&) = delete;
  ChildWindow& operator=(const ChildWindow&) = delete;

  HWND hwnd() const noexcept { return hwnd_; }

 protected:
  // Registers `class_name` once per process (arrow cursor, no background
  // brush: the window paints all of itself) and makes the window.
  bool Create(const wchar_t* class_name, DWORD style, DWORD ex_style, const RECT& rect, HWND parent, int id);
  // Return true when handled, with `result` as the answer; false leaves the
  // message to DefWindowProcW.
  virtual bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

  HWND hwnd_ = nullptr;
};

}  // namespace tarvolin
