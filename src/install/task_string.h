// The rules of upgrade tasks that need no system call: splitting a task
// string, the wait rules, status texts and link names. No Windows headers
// here, so tests can feed them tables directly.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace tarvolin {

// The fields of a task string that the runner uses; the key field after the
// wait text is the list's business, not ours.
struct TaskFields {
  std::wstring file;
  std::wstring parameters;
  std::wstring wait_text;

  bool operator==(const TaskFields&) const = default;
};

// Splits at every separator digit; missing fields are empty.
TaskFields SplitTaskString(std::wstring_view task);

// Wait text of a task string: lower-cased, "y", "t" and "o" count as "1", and
// any "1" means wait (1, yes, true, on). The plain negatives "no", "off" and
// "none" never wait, although their "o" would otherwise make them.
bool TaskWaits(std::wstring_view wait_text);

// The `waitclose` attribute of a script's run element: waits when its
// lower-cased text holds "1", "y" or "t".
bool ScriptRunWaits(std::wstring_view waitclose);

// "<run>[file][parameters][wait|nowait]" where `run_word` is the (translated)
// leading word; an empty field leaves no empty pair of brackets behind.
std::wstring TaskStatusText(std::wstring_view run_word, std::wstring_view file, std::wstring_view parameters,
                            bool wait);

// The link file actually written: ".lnk" appended unless the path already ends
// with it (in any letter case).
std::wstring LinkFileName(const std::wstring& link_path);

// The link paths of a record's shortcut field: items separated by ";", "," or
// "|"; an item holding "\" or "/" is a path of its own (given to `resolve`),
// any other item is a name beside `first_destination`. Empty items and exact
// repeats are dropped; an empty field gives no link.
std::vector<std::wstring> ShortcutLinkPaths(std::wstring_view shortcut_field, const std::wstring& first_destination,
                                            const std::function<std::wstring(const std::wstring&)>& resolve);

// The numeric icon index of a link ("" and non-numbers give 0), kept within int.
int ParseIconIndex(std::wstring_view text);

// The last backslash- or slash-separated component of a path.
std::wstring LastPathComponent(std::wstring_view path);

}  // namespace tarvolin
