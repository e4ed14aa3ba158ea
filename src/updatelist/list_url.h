// The configured list address: its placeholders and its base for file
// addresses. The version probe's reply is read in probe_reply.h.
#pragma once

#include <string>

#include "updatelist/probe_reply.h"

namespace tarvolin {

// Replaces "[param1]"/"{param1}", "[param2]"/"{param2}" and "[param]"/"{param}"
// by [UPDATEINFO] Parameter1, Parameter2 and Parameter (unset: removed).
std::wstring ExpandListUrl(const std::wstring& url);
std::wstring ExpandListUrlWith(const std::wstring& url, const std::wstring& parameter,
                               const std::wstring& parameter1, const std::wstring& parameter2);

// The address up to its last "/" (when that is not among the last two characters).
std::wstring ListUrlBaseOf(const std::wstring& url);
void SetListUrlBase(const std::wstring& url);
std::wstring ListUrlBase();

}  // namespace tarvolin
