// The INI reader of the default configuration. The first line names the
// section, the second the key, the rest is the configuration text (ANSI code
// page, as the embedded resource is).
#include "support/fuzz_input.h"
#include "config/default_setting.h"

using namespace tarvolin;
using namespace tarvolin::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes = Bytes(data, size);
  std::wstring names[2];
  for (std::wstring& name : names) {
    const std::size_t end = bytes.find('\n');
    if (end == std::string_view::npos) return 0;
    name = AnsiToUnits(bytes.substr(0, end));
    bytes.remove_prefix(end + 1);
  }
  const std::wstring text = AnsiToUnits(bytes);
  const std::wstring value = ReadDefaultSetting(text, names[0], names[1]);
  // A value is part of one line, and always a piece of the text.
  FUZZ_CHECK(value.find(L'\n') == std::wstring::npos);
  FUZZ_CHECK(value.empty() || text.find(value) != std::wstring::npos);
  return 0;
}
