// What each file parked in the download folder (name + "_") was fetched for.
// A parked file is reused by a later run only for the same address and
// version; a release published in between must not get the older file
// installed under the newer version.
#pragma once

#include <string>

namespace tarvolin {

// The record of parked files, beside the download folder (stem + ".parked").
std::wstring ParkedRecordPath();

bool IsParkedFor(const std::wstring& target, const std::wstring& url, const std::wstring& version);
void RememberParked(const std::wstring& target, const std::wstring& url, const std::wstring& version);
void ForgetParked(const std::wstring& target);

}  // namespace tarvolin
