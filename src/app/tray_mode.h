// The tray mode: the tray window, modal, until it ends.
#pragma once

namespace tarvolin {

void RunUpdaterIconWindow();

}  // namespace tarvolin
