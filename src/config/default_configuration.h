// The default tarvolin.ini carried inside the executable.
#pragma once

#include <string>

namespace tarvolin {

struct DefaultConfiguration {
  std::string bytes;   // the resource as stored (ANSI code page)
  std::wstring text;   // the same, as UTF-16; empty when the resource is missing
};

DefaultConfiguration LoadEmbeddedDefaultConfiguration();

// Reads a value from default-configuration text: the first "[section]", then the
// first line after it that begins with "key=", up to the line's end (a CR
// before the line feed is not part of the value).
std::wstring ReadDefaultSetting(const std::wstring& text, const std::wstring& section, const std::wstring& key);

}  // namespace tarvolin
