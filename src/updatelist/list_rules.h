// The decisions of update-list parsing, apart from the XML parser so that they
// can be tested with plain tables. No Windows headers here.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "updatelist/update_record.h"

namespace tarvolin {

namespace list_names {
// Accepted root elements, in order of preference.
inline constexpr std::array<std::wstring_view, 3> kRoots{L"update", L"updates", L"tarvolin"};
inline constexpr wchar_t kFile[] = L"file";
inline constexpr wchar_t kRun[] = L"run";
inline constexpr wchar_t kDescription[] = L"description";
// List-level settings, direct children of the root.
inline constexpr wchar_t kFileUrl[] = L"fileurl";
inline constexpr wchar_t kGuid[] = L"guid";
// A child of a file element: a binary patch from an older release.
inline constexpr wchar_t kPatch[] = L"patch";
}  // namespace list_names

// Attribute names of a file element, in lookup order: the first non-empty one wins.
namespace file_attributes {
inline constexpr std::array<std::wstring_view, 4> kVersion{L"ver", L"Ver", L"md5", L"MD5"};
// The version names that carry the file's MD5 text (the tail of kVersion).
inline constexpr std::array<std::wstring_view, 2> kMd5{L"md5", L"MD5"};
inline constexpr std::array<std::wstring_view, 1> kSha256{L"sha256"};
inline constexpr std::array<std::wstring_view, 12> kAction{
    L"oper", L"Oper", L"OPER", L"do", L"Do", L"DO",
    L"Action", L"action", L"ACTION", L"Activity", L"activity", L"ACTIVITY"};
inline constexpr std::array<std::wstring_view, 6> kPath{L"path", L"Path", L"File", L"file", L"Name", L"name"};
inline constexpr std::array<std::wstring_view, 3> kUrl{L"URL", L"url", L"Url"};
inline constexpr std::array<std::wstring_view, 3> kShortcut{L"shortcut", L"ShortCut", L"SHORTCUT"};
inline constexpr std::array<std::wstring_view, 5> kShortcutIcon{
    L"shortcuticon", L"shorticon", L"ShortCutIcon", L"SHORTCUTICON", L"SHORTICON"};
inline constexpr std::array<std::wstring_view, 5> kIconIndex{
    L"iconindex", L"ICONINDEX", L"IconIndex", L"shortcuticonindex", L"SHORTCUTICONINDEX"};
inline constexpr std::array<std::wstring_view, 4> kDstName{L"DesName", L"desname", L"dstname", L"DstName"};
}  // namespace file_attributes

// Attributes of a patch element, each under this one name only.
namespace patch_attributes {
inline constexpr wchar_t kFrom[] = L"from";
inline constexpr wchar_t kUrl[] = L"url";
inline constexpr wchar_t kSize[] = L"size";
}  // namespace patch_attributes

// Attributes of a run element, each under this one name only.
namespace task_attributes {
inline constexpr wchar_t kPath[] = L"path";
inline constexpr wchar_t kParam[] = L"param";
inline constexpr wchar_t kWait[] = L"wait";
inline constexpr wchar_t kKey[] = L"key";
}  // namespace task_attributes

// Joins the fields of a task string; the task runner splits at the same character.
inline constexpr wchar_t kTaskSeparator = L'9';

// Reads one attribute by exact name into `value` ("" when absent or empty).
// Returns false only when the document itself failed, which ends the parse.
using AttributeReader = std::function<bool(std::wstring_view name, std::wstring& value)>;

// Index of the root among the names of the document's top-level elements, or nothing.
std::optional<std::size_t> ChooseListRoot(const std::vector<std::wstring>& top_level_names);

enum class ListElementKind { Other, Description, Task, File };
// Exact, case-sensitive element names.
ListElementKind KindOfListElement(std::wstring_view name);

// Tries the names in order and keeps the first non-empty value; later names are not read.
bool ReadFirstNonEmpty(const AttributeReader& read, std::span<const std::wstring_view> names, std::wstring& value);

// Leading decimal number (0 when none) plus the bits named by substrings of the
// lower-cased text: "run"/"exe", "del", "reg", "boot".
std::uint32_t ParseActionWord(std::wstring_view text);

// The last piece of a URL after folding backslashes and doubled slashes; the
// piece before it when the URL ends with a slash.
std::wstring FileNameFromUrl(std::wstring_view url);

// A path written as an http or https address is the file's URL; a record with
// a URL but no path takes its file name from the URL.
void SettleUrlAndPath(updatefileinfo& record);

// A file element's record; false when an attribute read failed.
bool ReadFileRecord(const AttributeReader& read, updatefileinfo& record);
// A run element's record (the task string in `path`); false when a read failed.
bool ReadTaskRecord(const AttributeReader& read, updatefileinfo& record);
// A patch element's offer in `offer`, or nothing there when the element is
// unusable: a "from" that is no sha256 text, no "url", a "size" that is not a
// positive decimal number. False only when an attribute read failed.
bool ReadPatchOffer(const AttributeReader& read, std::optional<PatchOffer>& offer);
// Adds an offer to a file record. A patch is only ever taken when its result
// can be verified, so a record without a well-formed sha256 takes none; a
// second offer from the same release is dropped (the first wins).
void AddPatchOffer(updatefileinfo& record, PatchOffer offer);
std::wstring ComposeTaskString(std::wstring_view path, std::wstring_view param, std::wstring_view wait,
                               std::wstring_view key);
// A description element's record; line feeds become CR LF for the text boxes.
updatefileinfo MakeDescriptionRecord(std::wstring_view text);

// The final touch every record gets as it enters an array: version lower-cased
// and trimmed, "|" in the path turned into a backslash, path trimmed.
void NormaliseForAppend(updatefileinfo& record);

// A file record's path stays inside the download folder it is joined to: no
// leading separator, no ":" (drive or data stream), no ".." step. An empty
// path (a file element without one) names no place and passes.
bool IsContainedRecordPath(std::wstring_view path);

// File paths already taken by an earlier element of the same list; letter case
// does not count, so the first element for a path wins.
class SeenPaths {
 public:
  // True when the path is new (and remembers it).
  bool Enter(const std::wstring& path);

 private:
  std::unordered_set<std::wstring> keys_;
};

// The text of the box shown when a loaded list cannot be walked: the list URL
// (remote list) or the file path (installed list), a line break, the error
// text. Nothing for an installed list whose file is gone.
std::optional<std::wstring> ListFormatErrorMessage(bool as_remote, const std::wstring& list_url,
                                                   const std::wstring& list_path, bool list_file_exists,
                                                   const std::wstring& error_text);

// Polls of the check's waiting loops for a time-out setting ([Tarvolin]
// TimeOut, MultCheckTimeOut), 100 per unit. The value comes from the server's
// configuration, so it is held between 0 and a day's worth of units instead
// of being multiplied into an overflow.
inline constexpr long long kPollsPerTimeOutUnit = 100;
inline constexpr long long kLongestTimeOut = 24 * 60 * 60;
long long PollsForTimeOut(std::wstring_view setting);

}  // namespace tarvolin
