// Relaunching elevated when files need administrator rights, and resuming
// from the download list the relaunching process handed over.
#pragma once

#include <string>

namespace tarvolin {

inline constexpr wchar_t kRunAsAdminKey[] = L"runasadmin";

// The hand-over file of the current list: cached list stem + ".lst".
std::wstring HandOverFilePath();
// The parameters of the elevated copy: the cleaned command line plus the marker.
std::wstring ElevatedParameters(const std::wstring& command_line);

// Starts this program again through the shell's "runas" verb. With save_list
// the current download list is written to the hand-over file first.
void RelaunchElevated(bool save_list);
// Loads a hand-over file into the current download list (status included);
// the number of records, 0 when there is none or it cannot be read.
int LoadHandOverList(const std::wstring& path);

}  // namespace tarvolin
