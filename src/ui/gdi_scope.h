// Scoped owners for painting: a selection into a device context is undone,
// and every device context the window borrows or makes is given back, when
// its owner goes out of scope (GDI objects themselves: unique_hgdiobj).
#pragma once

#include <windows.h>

#include "common/unique_handle.h"

namespace tarvolin {

// An object selected into a device context; the object it replaced goes back
// at the end. Select() changes the object in the same slot (fonts, say), and
// the first one replaced still comes back.
class GdiSelection {
 public:
  GdiSelection(HDC dc, HGDIOBJ object) noexcept : dc_(dc) { Select(object); }
  ~GdiSelection() {
    if (previous_) ::SelectObject(dc_, previous_);
  }
  GdiSelection(const GdiSelection&) = delete;
  GdiSelection& operator=(const GdiSelection&) = delete;

  void Select(HGDIOBJ object) noexcept;

 private:
  HDC dc_;
  HGDIOBJ previous_ = nullptr;
};

// BeginPaint and EndPaint of one WM_PAINT.
class PaintScope {
 public:
  explicit PaintScope(HWND window) noexcept : window_(window), dc_(::BeginPaint(window, &paint_)) {}
  ~PaintScope() { ::EndPaint(window_, &paint_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;

  HDC dc() const noexcept { return dc_; }
  const RECT& area() const noexcept { return paint_.rcPaint; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// The device context of a window's client area, for measuring text outside
// painting (GetDC and ReleaseDC).
class ClientDc {
 public:
  explicit ClientDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
  ~ClientDc() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }
  ClientDc(const ClientDc&) = delete;
  ClientDc& operator=(const ClientDc&) = delete;

  HDC dc() const noexcept { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// An off-screen picture of a client area: drawn into, then copied to the
// window at once, so that frequent repaints do not flicker.
class BackBuffer {
 public:
  BackBuffer(HDC window_dc, const RECT& client) noexcept;
  BackBuffer(const BackBuffer&) = delete;
  BackBuffer& operator=(const BackBuffer&) = delete;

  HDC dc() const noexcept { return dc_.get(); }
  // Copies `area` (client coordinates) to the same place of `window_dc`.
  void CopyTo(HDC window_dc, const RECT& area) const noexcept;

 private:
  // In this order: the bitmap is selected out before it and the context go.
  unique_hdc dc_;
  unique_hgdiobj bitmap_;
  GdiSelection selected_;
};

// A memory device context compatible with `like`, for copying bitmaps from.
inline unique_hdc CompatibleDc(HDC like) noexcept { return unique_hdc(::CreateCompatibleDC(like)); }

}  // namespace tarvolin
