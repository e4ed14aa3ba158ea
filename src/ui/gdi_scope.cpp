#include "ui/gdi_scope.h"

#include <algorithm>

namespace tarvolin {

void GdiSelection::Select(HGDIOBJ object) noexcept {
  if (!dc_ || !object) return;
  HGDIOBJ replaced = ::SelectObject(dc_, object);
  if (!previous_) previous_ = replaced;
}

BackBuffer::BackBuffer(HDC window_dc, const RECT& client) noexcept
    : dc_(::CreateCompatibleDC(window_dc)),
      bitmap_(::CreateCompatibleBitmap(window_dc, std::max<LONG>(client.right, 1), std::max<LONG>(client.bottom, 1))),
      selected_(dc_.get(), bitmap_.get()) {}

void BackBuffer::CopyTo(HDC window_dc, const RECT& area) const noexcept {
  ::BitBlt(window_dc, area.left, area.top, area.right - area.left, area.bottom - area.top, dc_.get(), area.left,
           area.top, SRCCOPY);
}

}  // namespace tarvolin
