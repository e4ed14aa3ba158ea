// Folder macros and path resolution of list and task paths. The first line is
// the base folder, the rest of the input the path (UTF-8).
#include "support/fuzz_input.h"
#include "config/path_macro_rules.h"

using namespace tarvolin;
using namespace tarvolin::fuzz;

namespace {

MacroFolders FixedFolders() {
  MacroFolders folders;
  folders.shell_folder = [](int csidl) {
    return csidl == shell_folder_ids::kStartup ? std::wstring() : L"C:\\Shell\\" + std::to_wstring(csidl);
  };
  folders.windows_folder = [] { return std::wstring(L"C:\\Windows"); };
  folders.syswow64_folder = [] { return std::wstring(L"C:\\Windows\\SysWOW64"); };
  folders.system_folder = [] { return std::wstring(L"C:\\Windows\\system32"); };
  folders.configuration_folder = [] { return std::wstring(L"C:\\Book\\"); };
  return folders;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = Bytes(data, size);
  const std::size_t end = bytes.find('\n');
  const std::wstring base = Utf8ToUnits(bytes.substr(0, end));
  const std::wstring path = end == std::string_view::npos ? std::wstring() : Utf8ToUnits(bytes.substr(end + 1));
  const MacroFolders folders = FixedFolders();

  ExpandPathMacros(path, folders);
  const std::wstring resolved = ResolvePath(base, path, folders);
  // A path without a drive colon is joined to the base with backslashes only.
  if (resolved.find(L':', 1) == std::wstring::npos) FUZZ_CHECK(resolved.find(L'/') == std::wstring::npos);
  return 0;
}
