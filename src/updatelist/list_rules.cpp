#include "updatelist/list_rules.h"

#include <algorithm>
#include <cwctype>

#include "common/strings.h"

namespace tarvolin {

std::optional<std::size_t> ChooseListRoot(const std::vector<std::wstring>& top_level_names) {
  for (std::wstring_view root : list_names::kRoots) {
    auto it = std::find(top_level_names.begin(), top_level_names.end(), root);
    if (it != top_level_names.end()) return static_cast<std::size_t>(it - top_level_names.begin());
  }
  return std::nullopt;
}

ListElementKind KindOfListElement(std::wstring_view name) {
  if (name == list_names::kDescription) return ListElementKind::Description;
  if (name == list_names::kRun) return ListElementKind::Task;
  if (name == list_names::kFile) return ListElementKind::File;
  return ListElementKind::Other;
}

bool ReadFirstNonEmpty(const AttributeReader& read, std::span<const std::wstring_view> names, std::wstring& value) {
  value.clear();
  for (std::wstring_view name : names) {
    if (!read(name, value)) return false;
    if (!value.empty()) return true;
  }
  return true;
}

std::uint32_t ParseActionWord(std::wstring_view text) {
  const std::wstring lower = ToLower(std::wstring(text));
  // A negative number means nothing as an action, and a huge one must not wrap
  // around. The top of the range holds the markers of description and task
  // records, so a number stops below them: a file stays a file whatever its
  // list writes (the action bits OR-ed in below cannot reach a marker either).
  static_assert(TaskRecord < DescriptionRecord && (TaskRecord & 0xFF) == 0);
  long long number = std::clamp<long long>(ParseDecimal(lower), 0, TaskRecord - 1);
  std::uint32_t action = static_cast<std::uint32_t>(number);
  if (Contains(lower, L"run") || Contains(lower, L"exe")) action |= ActionRun;
  if (Contains(lower, L"del")) action |= ActionDelete;
  if (Contains(lower, L"reg")) action |= ActionRegister;
  if (Contains(lower, L"boot")) action |= ActionBoot;
  return action;
}

std::wstring FileNameFromUrl(std::wstring_view url) {
  std::wstring folded = ReplaceAll(ReplaceAll(std::wstring(url), L"\\", L"/"), L"//", L"/");
  std::vector<std::wstring> pieces = Split(folded, L'/');
  std::wstring last = pieces.back();
  if (last.empty() && pieces.size() >= 2) last = pieces[pieces.size() - 2];
  return last;
}

void SettleUrlAndPath(updatefileinfo& record) {
  const std::wstring lower_path = ToLower(record.path);
  if (StartsWith(lower_path, L"http:") || StartsWith(lower_path, L"https:")) {
    record.url = std::move(record.path);
    record.path.clear();
  }
  if (!record.url.empty() && record.path.empty()) record.path = FileNameFromUrl(record.url);
}

bool ReadFileRecord(const AttributeReader& read, updatefileinfo& record) {
  namespace a = file_attributes;
  updatefileinfo fresh;
  std::wstring action_text;
  if (!ReadFirstNonEmpty(read, a::kVersion, fresh.version) || !ReadFirstNonEmpty(read, a::kAction, action_text) ||
      !ReadFirstNonEmpty(read, a::kPath, fresh.path) || !ReadFirstNonEmpty(read, a::kUrl, fresh.url) ||
      !ReadFirstNonEmpty(read, a::kShortcut, fresh.shortcut) ||
      !ReadFirstNonEmpty(read, a::kShortcutIcon, fresh.shortcutIcon) ||
      !ReadFirstNonEmpty(read, a::kIconIndex, fresh.iconIndex) ||
      !ReadFirstNonEmpty(read, a::kDstName, fresh.dstName))
    return false;
  if (!ReadFirstNonEmpty(read, a::kSha256, fresh.sha256)) return false;
  // The version is the MD5 text exactly when no "ver" variant gave it.
  std::span<const std::wstring_view> ver_names(a::kVersion.data(), a::kVersion.size() - a::kMd5.size());
  std::wstring ver_text;
  if (!ReadFirstNonEmpty(read, ver_names, ver_text)) return false;
  if (ver_text.empty()) fresh.md5 = fresh.version;
  fresh.action = ParseActionWord(action_text);
  SettleUrlAndPath(fresh);
  record = std::move(fresh);
  return true;
}

namespace {

constexpr std::size_t kSha256HexDigits = 64;

bool IsSha256Text(std::wstring_view text) {
  return text.size() == kSha256HexDigits &&
         std::all_of(text.begin(), text.end(), [](wchar_t c) { return std::iswxdigit(c) && c < 0x80; });
}

// A whole positive decimal number that fits; nothing for any other text.
std::optional<long long> ParsePositiveSize(std::wstring_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  long long value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + (c - L'0');
  }
  if (value <= 0) return std::nullopt;
  return value;
}

}  // namespace

bool ReadPatchOffer(const AttributeReader& read, std::optional<PatchOffer>& offer) {
  namespace a = patch_attributes;
  std::wstring from, url, size_text;
  if (!read(a::kFrom, from) || !read(a::kUrl, url) || !read(a::kSize, size_text)) return false;
  offer.reset();
  from = Trim(ToLower(from));
  url = Trim(url);
  const std::optional<long long> size = ParsePositiveSize(Trim(size_text));
  if (!IsSha256Text(from) || url.empty() || !size) return true;
  offer = PatchOffer{.from = std::move(from), .url = std::move(url), .size = *size};
  return true;
}

void AddPatchOffer(updatefileinfo& record, PatchOffer offer) {
  if (!IsSha256Text(Trim(record.sha256))) return;
  for (const PatchOffer& known : record.patches)
    if (known.from == offer.from) return;
  record.patches.push_back(std::move(offer));
}

std::wstring ComposeTaskString(std::wstring_view path, std::wstring_view param, std::wstring_view wait,
                               std::wstring_view key) {
  std::wstring task(path);
  for (std::wstring_view field : {param, wait, key}) {
    task += kTaskSeparator;
    task += field;
  }
  return task;
}

bool ReadTaskRecord(const AttributeReader& read, updatefileinfo& record) {
  namespace a = task_attributes;
  std::wstring path, param, wait, key;
  if (!read(a::kPath, path) || !read(a::kParam, param) || !read(a::kWait, wait) || !read(a::kKey, key))
    return false;
  updatefileinfo task;
  task.path = ComposeTaskString(path, param, wait, key);
  task.dstName = task.path;
  task.version = kNonFileVersion;
  task.action = TaskRecord;
  record = std::move(task);
  return true;
}

updatefileinfo MakeDescriptionRecord(std::wstring_view text) {
  updatefileinfo description;
  description.path = ReplaceAll(std::wstring(text), L"\n", L"\r\n");
  description.dstName = description.path;
  description.version = kNonFileVersion;
  description.action = DescriptionRecord;
  return description;
}

void NormaliseForAppend(updatefileinfo& record) {
  record.version = Trim(ToLower(record.version));
  record.path = Trim(ReplaceAll(record.path, L"|", L"\\"));
}

bool SeenPaths::Enter(const std::wstring& path) { return keys_.insert(ToLower(path)).second; }

std::optional<std::wstring> ListFormatErrorMessage(bool as_remote, const std::wstring& list_url,
                                                   const std::wstring& list_path, bool list_file_exists,
                                                   const std::wstring& error_text) {
  if (as_remote) return list_url + L"\r\n" + error_text;
  if (!list_file_exists) return std::nullopt;
  return list_path + L"\r\n" + error_text;
}

long long PollsForTimeOut(std::wstring_view setting) {
  return std::clamp<long long>(ParseDecimal(setting), 0, kLongestTimeOut) * kPollsPerTimeOutUnit;
}


bool IsContainedRecordPath(std::wstring_view path) {
  if (path.empty()) return true;  // a file element without a path names no place at all
  if (path.front() == L'\\' || path.front() == L'/' || path.find(L':') != std::wstring_view::npos) return false;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find_first_of(L"\\/", start), path.size());
    const std::wstring_view step = path.substr(start, end - start);
    // Windows drops trailing dots and blanks: ". ." and "... " are parent steps too.
    const std::size_t kept = step.find_last_not_of(L". ");
    if (!step.empty() && kept == std::wstring_view::npos && step.find(L"..") != std::wstring_view::npos) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace tarvolin
