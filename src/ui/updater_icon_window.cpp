#include "ui/updater_icon_window.h"

#include <windowsx.h>

#include <chrono>
#include <ctime>

#include "common/process_state.h"
#include "common/strings.h"
#include "config/settings.h"
#include "config/translation_loader.h"
#include "install/locked_files.h"
#include "pipeline/check_procedure.h"
#include "pipeline/download_list.h"
#include "pipeline/update_sequence.h"
#include "resource_ids.h"
#include "status/status_protocol.h"
#include "status/status_windows.h"
#include "status/update_status.h"
#include "ui/gdi_scope.h"

namespace tarvolin {
namespace {

namespace sp = status_protocol;

constexpr auto& kTraySection = translation_sections::kTrayIcon;
namespace texts {
constexpr wchar_t kTip[] = L"Update Center";
constexpr wchar_t kCountdown[] = L"Update after %d seconds.";
constexpr wchar_t kCancel[] = L"Cancel";
constexpr wchar_t kCheckAgain[] = L"Check again";
constexpr wchar_t kUpdate[] = L"Update";
constexpr wchar_t kShow[] = L"Show check window";
constexpr wchar_t kExit[] = L"Exit";
}  // namespace texts

namespace areas {
constexpr wchar_t kClose[] = L"close";
constexpr wchar_t kCancel[] = L"cancel";
constexpr wchar_t kCheck[] = L"check";
constexpr wchar_t kUpdate[] = L"update";
}  // namespace areas

constexpr HotRect kCloseArea{196, 8, 210, 22};
constexpr UINT kFirstCheckTimer = 1;
constexpr UINT kFirstCheckDelayMs = 20;
constexpr int kOffScreen = -800;
constexpr int kTextInset = 20;
constexpr int kLineHeight = 20;
// The countdown's line: below the name and the status text.
constexpr int kCountdownLineOffset = kTextInset + 2 * kLineHeight;
constexpr int kLinkGap = 5;
constexpr int kBottomRowFromBottom = 32;
constexpr COLORREF kLinkHoverColour = RGB(0, 0, 255);
constexpr COLORREF kTextColour = RGB(0, 0, 0);

std::wstring CheckSpanSetting() { return ReadSetting(sections::kTarvolin, L"CheckTmSpan"); }

RECT ToRect(const HotRect& area) { return {area.left, area.top, area.right, area.bottom}; }

unique_hgdiobj FontLike(HFONT base, LONG weight, bool underline) {
  LOGFONTW font{};
  ::GetObjectW(base ? static_cast<HGDIOBJ>(base) : ::GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
  font.lfWeight = weight;
  font.lfUnderline = underline ? TRUE : FALSE;
  return unique_hgdiobj(::CreateFontIndirectW(&font));
}

void TextAt(HDC dc, int x, int y, const std::wstring& text) {
  ::TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

SIZE TextSize(HDC dc, const std::wstring& text) {
  SIZE size{};
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

}  // namespace

CDlgUpdaterIcon::Procedures CDlgUpdaterIcon::RealProcedures() {
  Procedures procedures;
  procedures.check = [](HWND window) { CheckEntry(window); };
  procedures.update = [](HWND window, const StopSignal& stop) {
    RunUpdateSequence(window, [&stop] { return stop.Requested(); });
  };
  procedures.steady_ms = [] { return static_cast<std::int64_t>(::GetTickCount64()); };
  procedures.unix_seconds = [] { return static_cast<std::int64_t>(std::time(nullptr)); };
  return procedures;
}

CDlgUpdaterIcon::CDlgUpdaterIcon(Procedures procedures)
    : Dialog(IDD_UPDATER_ICON), procedures_(std::move(procedures)), last_check_s_(procedures_.unix_seconds()) {}

void CDlgUpdaterIcon::End() {
  ended_ = true;
  EndDialog(IDCANCEL);
}

BOOL CDlgUpdaterIcon::OnInitDialog() {
  ::SetTimer(hwnd(), kTimerId, kTimerMs, nullptr);
  ::SetPropW(hwnd(), sp::kNeedMessagesProperty, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(sp::kPropertyOn)));

  HINSTANCE module = ::GetModuleHandleW(nullptr);
  background_.reset(::LoadImageW(module, MAKEINTRESOURCEW(IDB_TRAY_BACKGROUND), IMAGE_BITMAP, 0, 0, 0));
  close_bitmap_.reset(::LoadImageW(module, MAKEINTRESOURCEW(IDB_TRAY_CLOSE), IMAGE_BITMAP, 0, 0, 0));

  BITMAP size{};
  if (background_) ::GetObjectW(background_.get(), sizeof size, &size);
  // Off screen until it is first shown near the tray.
  ::SetWindowPos(hwnd(), nullptr, kOffScreen, kOffScreen, size.bmWidth, size.bmHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  icon_ = static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 0, 0, LR_SHARED | LR_DEFAULTSIZE));
  ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  HFONT dialog_font = reinterpret_cast<HFONT>(::SendMessageW(hwnd(), WM_GETFONT, 0, 0));
  normal_font_ = FontLike(dialog_font, FW_NORMAL, false);
  bold_font_ = FontLike(dialog_font, FW_BOLD, false);
  link_font_ = FontLike(dialog_font, FW_NORMAL, true);

  tray_.Add(hwnd(), kTrayIconId, kTrayCallback, icon_, Translate(kTraySection, texts::kTip));
  Layout();

  ::SetTimer(hwnd(), kFirstCheckTimer, kFirstCheckDelayMs, nullptr);
  return TRUE;
}

void CDlgUpdaterIcon::OnOK() { ::ShowWindow(hwnd(), SW_HIDE); }

bool CDlgUpdaterIcon::OnMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  result = 0;
  switch (message) {
    case sp::kStatusChangedMessage:
      OnStatus(static_cast<int>(wparam), static_cast<int>(lparam));
      return true;
    case WM_TIMER:
      if (wparam == kFirstCheckTimer) {
        ::KillTimer(hwnd(), kFirstCheckTimer);
        StartCheck(true);
      } else if (wparam == kTimerId) {
        OnTimer();
      }
      return true;
    case kCheckEnded:
      OnCheckEnded();
      return true;
    case kUpdateEnded:
      OnUpdateEnded();
      return true;
    case kTrayCallback:
      if (wparam == kTrayIconId) OnTrayCallback(static_cast<UINT>(lparam));
      return true;
    case WM_MOUSEMOVE:
      OnMouseMove(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
      return true;
    case WM_LBUTTONDOWN:
      OnLeftButtonDown(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
      return true;
    case WM_COMMAND:
      if (LOWORD(wparam) == kMenuExit) {
        End();
        return true;
      }
      if (LOWORD(wparam) == kMenuShow) {
        ShowNearTray();
        return true;
      }
      return false;
    case WM_SIZE:
      if (wparam == SIZE_MINIMIZED) ::ShowWindow(hwnd(), SW_HIDE);
      return true;
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<LRESULT>(icon_);
      return true;
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case WM_PAINT: {
      PaintScope paint(hwnd());
      Paint(paint.dc());
      return true;
    }
    case WM_DESTROY:
      ::KillTimer(hwnd(), kTimerId);
      tray_.Remove();
      ::RemovePropW(hwnd(), sp::kNeedMessagesProperty);
      return false;
    default:
      return false;
  }
}

void CDlgUpdaterIcon::StartCheck(bool hide_first) {
  // A check would delete the list file that a running update works from.
  if (check_running_ || updating_) return;
  if (hide_first) ::ShowWindow(hwnd(), SW_HIDE);
  last_check_s_ = procedures_.unix_seconds();
  check_running_ = true;
  // Registered here, on the window's thread, before the check starts.
  RegisterStatusWindow(hwnd());
  ::SetPropW(hwnd(), sp::kNeedMessagesProperty, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(sp::kPropertyOn)));
  SetStatus(UpdateNone, nullptr);
  HWND window = hwnd();
  check_worker_.Start([window, check = procedures_.check](const StopSignal&) { check(window); },
                      [window] { ::PostMessageW(window, kCheckEnded, 0, 0); });
}

void CDlgUpdaterIcon::OnCheckEnded() {
  check_worker_.Wait();
  check_running_ = false;
  ::RemovePropW(hwnd(), sp::kNeedMessagesProperty);
  if (updating_) {
    // An update was asked for while the check ran; it starts now.
    LaunchUpdate();
    return;
  }
  if (files_found_ > 0) StartCountdown();
  ::InvalidateRect(hwnd(), nullptr, FALSE);
  // Without periodic checks there is nothing to wait for after a check that found nothing.
  if (CheckSpanSetting().empty() && files_found_ == 0 && check_state_ == kTrayCheckDone) End();
}

void CDlgUpdaterIcon::StartCountdown() {
  SetCountdown(kCountdownSeconds);
  countdown_started_ms_ = procedures_.steady_ms();
}

void CDlgUpdaterIcon::SetCountdown(int seconds) {
  if (seconds == countdown_) return;
  countdown_ = seconds;
  Layout();  // the cancel link follows the countdown's text, or goes
}

void CDlgUpdaterIcon::OnStatus(int state, int files) {
  check_state_ = state;
  files_found_ = files;
  RebuildStatusText();
  ::InvalidateRect(hwnd(), nullptr, FALSE);
  if (check_state_ == kTrayCheckDone && files_found_ > 0 && !updating_) ShowNearTray();
}

void CDlgUpdaterIcon::RebuildStatusText() {
  const TrayStatusText text = StatusTextFor(updating_, check_state_, files_found_);
  status_text_ = *text.text ? FormatPlaceholders(Translate(text.section, text.text), {std::to_wstring(files_found_)})
                            : std::wstring();
  const std::wstring name = ReadSetting(sections::kApplication, L"Name");
  if (name.empty()) return;
  tray_.SetTip(TrayTip(name, status_text_));
}

void CDlgUpdaterIcon::ShowNearTray() {
  RECT rect{};
  ::GetWindowRect(hwnd(), &rect);
  // Placed once; afterwards the window stays where the reader dragged it.
  if (rect.left < 0) {
    const TrayPoint at = NearTrayPosition(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN),
                                          rect.right - rect.left, rect.bottom - rect.top);
    ::SetWindowPos(hwnd(), nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  ::ShowWindow(hwnd(), SW_SHOWNORMAL);
  ::SetForegroundWindow(hwnd());
}

void CDlgUpdaterIcon::OnTimer() {
  if (countdown_ > 0) {
    const int remaining = CountdownRemaining(countdown_started_ms_, procedures_.steady_ms());
    if (remaining != countdown_) {
      InvalidateArea(areas::kCancel, 2);  // where the link was
      SetCountdown(remaining);
      InvalidateArea(areas::kCancel, 2);  // and where it is now
    }
    if (countdown_ == 0) {
      SetCountdown(-1);
      previous_skin_ = RunParameters().Get(kUpdateSkinParameter);
      RunParameters().Set(kUpdateSkinParameter, kMinimalUpdateSkin);
      Update();
    }
  }
  if (check_state_ != kTrayChecking && !check_running_ &&
      PeriodicCheckDue(procedures_.unix_seconds(), last_check_s_, CheckSpanMinutes(CheckSpanSetting()), check_running_,
                       updating_))
    StartCheck(false);
}

void CDlgUpdaterIcon::Update() {
  if (updating_) return;
  ::ShowWindow(hwnd(), SW_HIDE);
  updating_ = true;
  RebuildStatusText();
  // A running check still writes the list the update starts from: the
  // update waits for its end.
  if (!check_running_) LaunchUpdate();
}

void CDlgUpdaterIcon::LaunchUpdate() {
  ::RemovePropW(hwnd(), sp::kNeedMessagesProperty);
  CurrentDownLoadList().SetRecords({});
  CurrentDownLoadList().SetDescription(L"");
  SetStatus(UpdateNone, nullptr);
  HWND window = hwnd();
  update_worker_.Start([window, update = procedures_.update](const StopSignal& stop) { update(window, stop); },
                       [window] { ::PostMessageW(window, kUpdateEnded, 0, 0); });
}

void CDlgUpdaterIcon::OnUpdateEnded() {
  update_worker_.Wait();
  if (!previous_skin_.empty() || RunParameters().Get(kUpdateSkinParameter) == kMinimalUpdateSkin)
    RunParameters().Set(kUpdateSkinParameter, previous_skin_);
  previous_skin_.clear();
  last_check_s_ = procedures_.unix_seconds();
  updating_ = false;
  RebuildStatusText();
  if (CheckSpanSetting().empty()) {
    End();
    return;
  }
  ShowNearTray();
}

void CDlgUpdaterIcon::InvalidateArea(const std::wstring& name, int widen_by) {
  auto found = hot_areas_.find(name);
  if (found == hot_areas_.end()) {
    ::InvalidateRect(hwnd(), nullptr, FALSE);
    return;
  }
  RECT rect = ToRect(Widened(found->second, widen_by));
  if (name == areas::kCancel) rect.left = kLinkGap;  // the countdown text before the link too
  ::InvalidateRect(hwnd(), &rect, FALSE);
}

void CDlgUpdaterIcon::OnMouseMove(int x, int y) {
  const std::wstring under = HotAreaAt(hot_areas_, x, y);
  if (under == hover_) return;
  if (!hover_.empty()) InvalidateArea(hover_, 3);
  hover_ = under;
  if (!hover_.empty()) InvalidateArea(hover_, 3);
}

void CDlgUpdaterIcon::OnLeftButtonDown(int x, int y) {
  // The window has no caption; it is dragged by any point. Only a button
  // that is really held starts the drag.
  if (::GetAsyncKeyState(VK_LBUTTON) & 0x8000) ::PostMessageW(hwnd(), WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(x, y));
  const std::wstring area = HotAreaAt(hot_areas_, x, y);
  if (area == areas::kClose) {
    SetCountdown(-1);
    ::ShowWindow(hwnd(), SW_HIDE);
  } else if (area == areas::kCancel) {
    SetCountdown(-1);
    ::InvalidateRect(hwnd(), nullptr, FALSE);
  } else if (!updating_ && area == areas::kCheck) {
    SetCountdown(-1);
    if (!check_running_) StartCheck(false);
  } else if (!updating_ && area == areas::kUpdate) {
    SetCountdown(-1);
    Update();
  }
}

void CDlgUpdaterIcon::OnTrayCallback(UINT mouse_message) {
  if (mouse_message == WM_LBUTTONDBLCLK) ShowNearTray();
  if (mouse_message == WM_RBUTTONDOWN) ShowTrayMenu();
}

void CDlgUpdaterIcon::ShowTrayMenu() {
  ::SetForegroundWindow(hwnd());
  HMENU menu = ::CreatePopupMenu();
  if (!menu) return;
  ::AppendMenuW(menu, MF_STRING, kMenuShow, Translate(kTraySection, texts::kShow).c_str());
  ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(menu, MF_STRING, kMenuExit, Translate(texts::kExit).c_str());
  POINT cursor{};
  ::GetCursorPos(&cursor);
  const UINT chosen = ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, hwnd(), nullptr);
  ::DestroyMenu(menu);
  if (chosen) ::SendMessageW(hwnd(), WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
}

void CDlgUpdaterIcon::Layout() {
  RECT client{};
  ::GetClientRect(hwnd(), &client);
  ClientDc screen(hwnd());
  // The links are measured in the font they are drawn in; the hover font
  // only underlines them.
  GdiSelection font(screen.dc(), normal_font_.get());
  auto place = [&](const wchar_t* area, const wchar_t* text, int x, int y) {
    const SIZE size = TextSize(screen.dc(), Translate(kTraySection, text));
    hot_areas_[area] = {x, y, x + size.cx, y + size.cy};
  };
  hot_areas_[areas::kClose] = kCloseArea;
  if (countdown_ >= 0) {
    const int x = client.left + kTextInset;
    place(areas::kCancel, texts::kCancel, x + TextSize(screen.dc(), CountdownLine()).cx + kLinkGap,
          client.top + kCountdownLineOffset);
  } else {
    hot_areas_.erase(areas::kCancel);
  }
  const int bottom = client.bottom - kBottomRowFromBottom;
  place(areas::kCheck, texts::kCheckAgain, client.right / 3, bottom);
  place(areas::kUpdate, texts::kUpdate, client.right * 2 / 3, bottom);
}

std::wstring CDlgUpdaterIcon::CountdownLine() const {
  return FormatPlaceholders(Translate(kTraySection, texts::kCountdown), {std::to_wstring(countdown_)});
}

void CDlgUpdaterIcon::DrawLink(HDC dc, const wchar_t* area, const wchar_t* text) {
  auto placed = hot_areas_.find(area);
  if (placed == hot_areas_.end()) return;
  const bool hovered = hover_ == area;
  GdiSelection font(dc, hovered ? link_font_.get() : normal_font_.get());
  ::SetTextColor(dc, hovered ? kLinkHoverColour : kTextColour);
  TextAt(dc, placed->second.left, placed->second.top, Translate(kTraySection, text));
  ::SetTextColor(dc, kTextColour);
}

void CDlgUpdaterIcon::Paint(HDC window_dc) {
  RECT client{};
  ::GetClientRect(hwnd(), &client);
  // Drawn off screen and copied at once: the countdown repaints twice a second.
  BackBuffer buffer(window_dc, client);
  const HDC dc = buffer.dc();
  unique_hdc art = CompatibleDc(window_dc);
  GdiSelection picture(art.get(), background_.get());
  ::BitBlt(dc, 0, 0, client.right, client.bottom, art.get(), 0, 0, SRCCOPY);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, kTextColour);

  const int x = client.left + kTextInset;
  GdiSelection font(dc, bold_font_.get());
  TextAt(dc, x, client.top + kTextInset, ReadSetting(sections::kApplication, L"Name"));
  font.Select(normal_font_.get());
  if (!status_text_.empty()) TextAt(dc, x, client.top + kTextInset + kLineHeight, status_text_);
  if (countdown_ >= 0) {
    TextAt(dc, x, client.top + kCountdownLineOffset, CountdownLine());
    DrawLink(dc, areas::kCancel, texts::kCancel);
  }
  DrawLink(dc, areas::kCheck, texts::kCheckAgain);
  DrawLink(dc, areas::kUpdate, texts::kUpdate);

  if (hover_ == areas::kClose && close_bitmap_) {
    picture.Select(close_bitmap_.get());
    ::BitBlt(dc, kCloseArea.left, kCloseArea.top, kCloseArea.right - kCloseArea.left + 1,
             kCloseArea.bottom - kCloseArea.top + 1, art.get(), 0, 0, SRCCOPY);
  }
  buffer.CopyTo(window_dc, client);
}

}  // namespace tarvolin
