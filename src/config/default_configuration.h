// The default tarvolin.ini carried inside the executable.
#pragma once

#include <string>

#include "config/default_setting.h"

namespace tarvolin {

struct DefaultConfiguration {
  std::string bytes;   // the resource as stored (ANSI code page)
  std::wstring text;   // the same, as UTF-16; empty when the resource is missing
};

DefaultConfiguration LoadEmbeddedDefaultConfiguration();

}  // namespace tarvolin
