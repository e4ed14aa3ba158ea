// The dialog base of every window of the program: modal (our own loop) or
// modeless (CreateDialogParamW) from a template in the executable's resources.
// The static procedure stores `this` at WM_INITDIALOG, forwards every later
// message to the virtual handlers, and forgets the object at WM_NCDESTROY.
// Thread affinity: an object is used only on the thread that created its window.
#pragma once

#include <windows.h>

namespace tarvolin {

class Dialog {
 public:
  explicit Dialog(int template_id) noexcept : template_id_(template_id) {}
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog until EndDialog or a quit message; returns its result,
  // or -1 when the window could not be made. The loop is ours, not the
  // system's dialog box: that one shows the window "normal" when its queue
  // first runs empty, which would undo a window that opens maximised.
  INT_PTR DoModal(HWND parent);
  // Makes the window and returns at once; false when it could not be made.
  bool CreateModeless(HWND parent);

  HWND hwnd() const noexcept { return hwnd_; }
  bool IsModal() const noexcept { return modal_; }
  // Ends a modal dialog with `result`, or destroys a modeless one.
  void EndDialog(INT_PTR result);

 protected:
  // Called once the window and its controls exist. The result is that of
  // WM_INITDIALOG: TRUE lets the system set the focus.
  virtual BOOL OnInitDialog() { return TRUE; }
  // Enter and Escape (IDOK and IDCANCEL commands). Both end the dialog unless overridden.
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // Every other message. Return true when handled, with `result` as the
  // message's answer; false leaves it to the dialog manager.
  virtual bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result);
  // Every message the modal loop takes, before the dialog's key handling;
  // true when it was handled (a hosted control took a key).
  virtual bool PreTranslateMessage(MSG&) { return false; }
  // After the last message: the window handle is gone.
  virtual void OnDestroyed() {}

  // The answer of a handled message whose result is not TRUE/FALSE (for
  // example WM_NCHITTEST) goes through DWLP_MSGRESULT.
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) noexcept;

 private:
  INT_PTR Route(UINT message, WPARAM wparam, LPARAM lparam);

  int template_id_;
  HWND hwnd_ = nullptr;
  bool modal_ = false;
  bool ended_ = false;
  INT_PTR result_ = 0;
};

// Messages whose dialog-procedure answer is the value itself rather than a
// handled flag with the answer in DWLP_MSGRESULT.
bool AnswersDirectly(UINT message) noexcept;

}  // namespace tarvolin
