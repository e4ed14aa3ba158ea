#include "ui/child_window.h"

namespace tarvolin {

ChildWindow::~ChildWindow() {
  // A window that outlives its object would call into freed memory.
  if (hwnd_) {
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd_);
  }
}

bool ChildWindow::Create(const wchar_t* class_name, DWORD style, DWORD ex_style, const RECT& rect, HWND parent,
                         int id) {
  HINSTANCE module = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  if (!::GetClassInfoExW(module, class_name, &window_class)) {
    window_class.style = CS_DBLCLKS;
    window_class.lpfnWndProc = &ChildWindow::WindowProc;
    window_class.hInstance = module;
    window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    window_class.lpszClassName = class_name;
    if (!::RegisterClassExW(&window_class)) return false;
  }
  return ::CreateWindowExW(ex_style, class_name, L"", style, rect.left, rect.top, rect.right - rect.left,
                           rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), module,
                           this) != nullptr;
}

bool ChildWindow::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

LRESULT CALLBACK ChildWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  ChildWindow* self = nullptr;
  if (message == WM_NCCREATE) {
    // Stored as the base type and read back as the base type.
    self = static_cast<ChildWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->hwnd_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<ChildWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  }
  LRESULT result = 0;
  bool handled = false;
  if (self) {
    try {
      handled = self->OnMessage(message, wparam, lparam, result);
    } catch (...) {
      handled = false;
    }
    if (message == WM_NCDESTROY) {
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      self->hwnd_ = nullptr;
    }
  }
  return handled ? result : ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace tarvolin
