// Entry names and extra fields of zip archives. The input is the stored name
// (UTF-8, as the reader decodes it) up to the first NUL byte, then the extra
// field block.
#include "support/fuzz_input.h"
#include "archive/zip_rules.h"
#include "common/strings.h"

using namespace tarvolin;
using namespace tarvolin::fuzz;

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The name must stay inside the extraction folder: not absolute, no drive, no
// step to a parent folder.
void CheckStaysInside(const std::wstring& name) {
  FUZZ_CHECK(!IsAbsoluteOutputPath(name));
  std::wstring folded = ReplaceAll(name, L"/", L"\\");
  for (const std::wstring& step : Split(folded, L'\\')) FUZZ_CHECK(step != L"..");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes = Bytes(data, size);
  const std::size_t end = bytes.find('\0');
  const std::wstring stored = Utf8ToUnits(bytes.substr(0, end));
  const std::string_view extra = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);

  const std::wstring safe = MakeSafeEntryName(stored);
  CheckStaysInside(safe);
  FUZZ_CHECK(MakeSafeEntryName(safe) == safe);
  FUZZ_CHECK(safe.empty() || !IsSeparator(safe[0]));

  const std::uint32_t made_by = extra.size() >= 2 ? static_cast<unsigned char>(extra[0]) << 8 : 0;
  const std::uint32_t attributes = EntryAttributes(made_by, static_cast<std::uint32_t>(extra.size()) * 0x10001u, stored);
  if (!stored.empty() && IsSeparator(stored.back())) FUZZ_CHECK(attributes & entry_attributes::kDirectory);

  if (auto times = FindExtendedTimestamps(extra)) {
    for (const auto& time : {times->last_write, times->last_access, times->creation})
      if (time) UnixSecondsToFileTime(*time);
  }
  if (extra.size() >= 12) {
    PasswordMatchesHeader(extra.substr(12), extra.substr(0, 12), EncryptionCheckByte(extra[0], 0, 0));
  }
  return 0;
}
