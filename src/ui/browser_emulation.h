// Makes the embedded browser render in the installed browser's own document mode.
#pragma once

#include <optional>
#include <string>

namespace tarvolin {

// The emulation value for an installed browser version text ("9.11.9600.18838"
// gives 9000); nothing when the text holds no ".".
std::optional<unsigned long> BrowserEmulationValue(const std::wstring& version);

// Writes the value for `value_name` (the executable's file name). Registry
// errors are ignored: the browser then keeps its default mode.
void SetBrowserEmulation(const std::wstring& value_name);

}  // namespace tarvolin
