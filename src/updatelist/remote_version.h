// The version label that may come with the update list (empty when none).
#pragma once

#include <string>

namespace tarvolin {

std::wstring RemoteVersionLabel();
void SetRemoteVersionLabel(const std::wstring& label);

}  // namespace tarvolin
