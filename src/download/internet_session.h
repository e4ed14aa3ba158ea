// Opening the Internet layer for one connection attempt, with the proxy of
// the configuration file.
#pragma once

#include <string>

#include "common/unique_handle.h"

namespace tarvolin {

// Shown when [Tarvolin] Proxy has no "host:port" form.
inline constexpr wchar_t kProxySetErrorText[] = L"The proxy set error!";

// A fresh Internet handle for `agent`. With [Tarvolin] Proxy set, the handle
// goes through that proxy with the [Tarvolin] ProxyUser credentials; a
// malformed Proxy shows kProxySetErrorText and gives no handle.
unique_hinternet OpenSession(const std::wstring& agent);

// Agent names of block and stream connections ("down1", "down2", ...) and of
// size queries ("querysize1", ...); each has its own counter for the process.
std::wstring NextTransferAgent();
std::wstring NextSizeQueryAgent();

}  // namespace tarvolin
