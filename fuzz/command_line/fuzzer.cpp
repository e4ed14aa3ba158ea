// The command line cleaner, its tokens, the .NET switches and the mode words.
// The first line is the program's own path, the rest the raw command line
// (UTF-8). Every number is taken for an existing window, so each one the
// rules accept shows.
#include "support/fuzz_input.h"
#include "app/command_line.h"
#include "common/strings.h"

using namespace tarvolin;
using namespace tarvolin::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = Bytes(data, size);
  const std::size_t end = bytes.find('\n');
  const std::wstring own = Utf8ToUnits(bytes.substr(0, end));
  const std::wstring raw = end == std::string_view::npos ? std::wstring() : Utf8ToUnits(bytes.substr(end + 1));

  const std::wstring cleaned = CleanCommandLine(raw, own);
  FUZZ_CHECK(cleaned.find(L'"') == std::wstring::npos);
  FUZZ_CHECK(cleaned == Trim(cleaned));
  const std::vector<std::wstring> tokens = CommandLineTokens(cleaned);
  FindDotNetSwitch(cleaned);

  const ModeDecision decision = DecideMode(tokens, L"", [](std::uintptr_t) { return true; });
  FUZZ_CHECK(decision.mode == Trim(ToLower(decision.mode)));
  if (decision.host_window != 0) {
    // The window named is the one a token wrote, digit for digit.
    bool written = false;
    for (const std::wstring& token : tokens) {
      std::size_t zeros = 0;
      while (zeros + 1 < token.size() && token[zeros] == L'0') ++zeros;
      written = written || token.substr(zeros) == std::to_wstring(decision.host_window);
    }
    FUZZ_CHECK(written);
  }
  return 0;
}
