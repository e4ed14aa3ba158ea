#include "ui/dialog.h"

namespace tarvolin {
namespace {

HINSTANCE ThisModule() { return ::GetModuleHandleW(nullptr); }

}  // namespace

bool AnswersDirectly(UINT message) noexcept {
  switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
      return true;
    default:
      return false;
  }
}

Dialog::~Dialog() {
  // A modeless window that outlives its object would call into freed memory.
  if (hwnd_ && !modal_) {
    ::SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
    ::DestroyWindow(hwnd_);
  }
}

INT_PTR Dialog::DoModal(HWND parent) {
  modal_ = true;
  ended_ = false;
  result_ = -1;
  // The owner takes no input while its modal dialog is up.
  const bool disable_owner = parent && ::IsWindowEnabled(parent);
  if (disable_owner) ::EnableWindow(parent, FALSE);
  HWND window = ::CreateDialogParamW(ThisModule(), MAKEINTRESOURCEW(template_id_), parent, &Dialog::DialogProc,
                                     reinterpret_cast<LPARAM>(this));
  if (window) {
    if (!ended_ && !::IsWindowVisible(window)) ::ShowWindow(window, SW_SHOWNORMAL);
    MSG message;
    while (!ended_) {
      BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
      if (got <= 0) {
        // A quit ends the dialog and goes on to whoever runs the next loop.
        if (got == 0) ::PostQuitMessage(static_cast<int>(message.wParam));
        break;
      }
      if (PreTranslateMessage(message)) continue;
      if (hwnd_ && ::IsDialogMessageW(hwnd_, &message)) continue;
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  if (disable_owner) ::EnableWindow(parent, TRUE);
  if (hwnd_) ::DestroyWindow(hwnd_);
  return window ? result_ : -1;
}

bool Dialog::CreateModeless(HWND parent) {
  modal_ = false;
  return ::CreateDialogParamW(ThisModule(), MAKEINTRESOURCEW(template_id_), parent, &Dialog::DialogProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

void Dialog::EndDialog(INT_PTR result) {
  if (!hwnd_) return;
  if (modal_) {
    // The loop of DoModal ends and destroys the window.
    result_ = result;
    ended_ = true;
    ::PostMessageW(hwnd_, WM_NULL, 0, 0);
  } else {
    ::DestroyWindow(hwnd_);
  }
}

bool Dialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

INT_PTR CALLBACK Dialog::DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  Dialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    // Stored as the base type and read back as the base type.
    self = reinterpret_cast<Dialog*>(lparam);
    self->hwnd_ = window;
    ::SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(window, DWLP_USER));
  }
  if (!self) return FALSE;
  try {
    INT_PTR answer = self->Route(message, wparam, lparam);
    if (message == WM_NCDESTROY) {
      ::SetWindowLongPtrW(window, DWLP_USER, 0);
      self->hwnd_ = nullptr;
      self->OnDestroyed();
    }
    return answer;
  } catch (...) {
    // A handler that throws must not unwind through the system's dispatcher.
    return FALSE;
  }
}

INT_PTR Dialog::Route(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) return OnInitDialog();
  LRESULT result = 0;
  if (OnMessage(message, wparam, lparam, result)) {
    if (AnswersDirectly(message)) return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
    return TRUE;
  }
  // Enter and Escape arrive as clicks of IDOK and IDCANCEL.
  if (message == WM_COMMAND && HIWORD(wparam) == BN_CLICKED) {
    if (LOWORD(wparam) == IDOK) {
      OnOK();
      return TRUE;
    }
    if (LOWORD(wparam) == IDCANCEL) {
      OnCancel();
      return TRUE;
    }
  }
  return FALSE;
}

}  // namespace tarvolin
