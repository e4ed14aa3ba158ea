// Conversions between UTF-16 and the byte encodings of the files we read and write.
#pragma once

#include <string>
#include <string_view>

namespace tarvolin {

// Text files of the program (configuration, translation files, log) use the
// thread's ANSI code page.
std::wstring AnsiToWide(std::string_view bytes);
std::string WideToAnsi(std::wstring_view text);
std::wstring CodePageToWide(std::string_view bytes, unsigned code_page);
std::wstring Utf8ToWide(std::string_view bytes);
std::string WideToUtf8(std::wstring_view text);

}  // namespace tarvolin
