// Upgrade task strings and the shortcut fields of records, which come from
// the update list (UTF-8 here, UTF-16 in the program). The first line is the
// task string, the second a shortcut field, the third an icon index.
#include "support/fuzz_input.h"
#include "install/task_string.h"

using namespace tarvolin;
using namespace tarvolin::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> lines = Lines(Bytes(data, size));
  auto line = [&lines](std::size_t i) { return i < lines.size() ? Utf8ToUnits(lines[i]) : std::wstring(); };

  const std::wstring task = line(0);
  const TaskFields fields = SplitTaskString(task);
  FUZZ_CHECK(fields.file.size() + fields.parameters.size() + fields.wait_text.size() <= task.size());
  const bool waits = TaskWaits(fields.wait_text);
  TaskStatusText(L"Run", fields.file, fields.parameters, waits);
  ScriptRunWaits(fields.wait_text);
  LastPathComponent(fields.file);

  const std::vector<std::wstring> links =
      ShortcutLinkPaths(line(1), L"C:\\Book\\reader\\ebook.exe", [](const std::wstring& item) { return L"C:\\Links\\" + item; });
  for (const std::wstring& link : links) {
    FUZZ_CHECK(!link.empty());
    const std::wstring file = LinkFileName(link);
    FUZZ_CHECK(LinkFileName(file) == file);
  }
  ParseIconIndex(line(2));
  return 0;
}
