#include "install/task_string.h"

#include <algorithm>
#include <array>

#include "common/has_suffix.h"
#include "common/strings.h"

namespace tarvolin {
namespace {

// The digit nine joins the fields of a task string (see the list reader).
constexpr wchar_t kSeparator = L'9';
constexpr wchar_t kWaitWord[] = L"wait";
constexpr wchar_t kNoWaitWord[] = L"nowait";
constexpr wchar_t kLinkSuffix[] = L".lnk";
constexpr std::array<std::wstring_view, 3> kNegativeWaitWords{L"no", L"off", L"none"};

bool HasPathSeparator(std::wstring_view text) { return text.find_first_of(L"\\/") != std::wstring_view::npos; }

std::wstring FolderPart(const std::wstring& path) {
  const std::size_t pos = path.find_last_of(L"\\/");
  return pos == std::wstring::npos ? std::wstring() : path.substr(0, pos);
}

void AppendBracketed(std::wstring& text, std::wstring_view field) {
  if (field.empty()) return;
  text += L'[';
  text += field;
  text += L']';
}

}  // namespace

TaskFields SplitTaskString(std::wstring_view task) {
  const std::vector<std::wstring> fields = Split(task, kSeparator);
  TaskFields result;
  if (fields.size() > 0) result.file = fields[0];
  if (fields.size() > 1) result.parameters = fields[1];
  if (fields.size() > 2) result.wait_text = fields[2];
  return result;
}

bool TaskWaits(std::wstring_view wait_text) {
  const std::wstring lower = ToLower(Trim(wait_text));
  if (std::find(kNegativeWaitWords.begin(), kNegativeWaitWords.end(), lower) != kNegativeWaitWords.end()) return false;
  return lower.find_first_of(L"1yto") != std::wstring::npos;
}

bool ScriptRunWaits(std::wstring_view waitclose) {
  return ToLower(std::wstring(waitclose)).find_first_of(L"1yt") != std::wstring::npos;
}

std::wstring TaskStatusText(std::wstring_view run_word, std::wstring_view file, std::wstring_view parameters,
                            bool wait) {
  std::wstring text(run_word);
  AppendBracketed(text, file);
  AppendBracketed(text, parameters);
  AppendBracketed(text, wait ? kWaitWord : kNoWaitWord);
  return text;
}

std::wstring LinkFileName(const std::wstring& link_path) {
  return HasSuffix(link_path, kLinkSuffix) ? link_path : link_path + kLinkSuffix;
}

std::vector<std::wstring> ShortcutLinkPaths(std::wstring_view shortcut_field, const std::wstring& first_destination,
                                            const std::function<std::wstring(const std::wstring&)>& resolve) {
  std::wstring field = ReplaceAll(ReplaceAll(std::wstring(shortcut_field), L",", L";"), L"|", L";");
  const std::wstring beside = FolderPart(first_destination);
  std::vector<std::wstring> links;
  for (const std::wstring& raw : Split(field, L';')) {
    const std::wstring item = Trim(raw);
    if (item.empty()) continue;
    std::wstring link = HasPathSeparator(item) ? resolve(item) : (beside.empty() ? item : beside + L"\\" + item);
    if (std::find(links.begin(), links.end(), link) == links.end()) links.push_back(std::move(link));
  }
  return links;
}

int ParseIconIndex(std::wstring_view text) {
  const long long value = ParseDecimal(text);
  constexpr long long kLowest = -0x7FFFFFFFLL - 1;
  constexpr long long kHighest = 0x7FFFFFFFLL;
  return static_cast<int>(value < kLowest ? kLowest : (value > kHighest ? kHighest : value));
}

std::wstring LastPathComponent(std::wstring_view path) {
  const std::size_t pos = path.find_last_of(L"\\/");
  return std::wstring(pos == std::wstring_view::npos ? path : path.substr(pos + 1));
}

}  // namespace tarvolin
