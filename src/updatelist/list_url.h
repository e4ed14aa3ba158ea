// The configured list address: its placeholders, its base for file addresses,
// and the reply of the version probe.
#pragma once

#include <string>
#include <vector>

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

struct ProbeReply {
  std::wstring version;             // empty when the reply names none
  std::vector<std::wstring> mirrors;  // list addresses, in document order
};

// Reads the version probe's reply: the lines joined and trimmed, tag names
// normalised to "<ver>" and "<url>", each value running up to the next "<".
ProbeReply ParseProbeReply(const std::vector<std::wstring>& lines);

}  // namespace tarvolin
