// How the outcome of a run becomes the process exit code, which a host that
// started us to check for updates reads.
#pragma once

#include <string>

namespace tarvolin {

inline constexpr int kNewVersionExitCode = 0x7FFFFFFF;

// records: number of records to update; label: the remote version label;
// installed_version: [APPLICATION] Ver.
int ExitCodeFor(int records, const std::wstring& label, const std::wstring& installed_version);

}  // namespace tarvolin
