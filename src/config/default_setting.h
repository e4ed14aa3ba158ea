// The reader of the default configuration's INI text. Pure text logic with no
// Windows headers, so it is also built natively and fuzzed.
#pragma once

#include <string>

namespace tarvolin {

// Reads a value from default-configuration text: the first "[section]", then the
// first line after it that begins with "key=", up to the line's end (a CR
// before the line feed is not part of the value).
std::wstring ReadDefaultSetting(const std::wstring& text, const std::wstring& section, const std::wstring& key);

}  // namespace tarvolin
