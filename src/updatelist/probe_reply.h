// The reply of the version probe. It comes from the network, so its reader is
// pure text logic with no Windows headers: tested with tables, fuzzed natively.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvolin {

struct ProbeReply {
  std::wstring version;             // empty when the reply names none
  std::vector<std::wstring> mirrors;  // list addresses, in document order
};

// The lines of a reply body: split at LF, one CR before it dropped, each line
// turned into UTF-16 by `decode` (the ANSI code page in the program).
using ReplyDecoder = std::wstring (*)(std::string_view bytes);
std::vector<std::wstring> ProbeReplyLines(std::string_view bytes, ReplyDecoder decode);

// Reads the version probe's reply: the lines joined and trimmed, tag names
// normalised to "<ver>" and "<url>", each value running up to the next "<".
ProbeReply ParseProbeReply(const std::vector<std::wstring>& lines);

}  // namespace tarvolin
