#include "updatelist/destination_paths.h"

#include <algorithm>
#include <string_view>

#include "common/strings.h"
#include "config/settings.h"

namespace tarvolin {
namespace {

constexpr std::wstring_view kPathSeparators = L"\\/";

bool IsBlank(std::wstring_view text) { return Trim(text).empty(); }

// A destination must name a file: replacing a folder would move the whole
// folder aside as a backup.
bool NamesFile(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(kPathSeparators);
  const std::wstring_view last = cut == std::wstring::npos ? std::wstring_view(path)
                                                           : std::wstring_view(path).substr(cut + 1);
  return !IsBlank(last) && last != L"." && last != L"..";
}

// The default destination with its file name exchanged for `name`.
std::wstring WithFileName(const std::wstring& destination, const std::wstring& name) {
  const std::size_t cut = destination.find_last_of(kPathSeparators);
  if (cut == std::wstring::npos) return name;
  return destination.substr(0, cut + 1) + name;
}

std::vector<std::wstring> DestinationNames(std::wstring field) {
  for (wchar_t& c : field) {
    if (std::wstring_view(kDestinationSeparators).find(c) != std::wstring_view::npos) c = L';';
  }
  return Split(field, L';');
}

void AddUnique(std::vector<std::wstring>& paths, std::wstring path) {
  if (!NamesFile(path)) return;
  if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(std::move(path));
}

}  // namespace

std::vector<std::wstring> DestinationPaths(const updatefileinfo& record, const std::wstring& application_folder,
                                           const MacroFolders& folders) {
  const std::wstring default_destination = ResolvePath(application_folder, record.path, folders);
  std::vector<std::wstring> paths;
  for (const std::wstring& name : DestinationNames(record.dstName)) {
    // Blank names come from doubled or trailing separators; taken literally
    // they would point at the folder itself.
    if (IsBlank(name)) continue;
    if (name.find_first_of(kPathSeparators) != std::wstring::npos) {
      AddUnique(paths, ResolvePath(application_folder, name, folders));
    } else {
      AddUnique(paths, WithFileName(default_destination, name));
    }
  }
  if (paths.empty()) AddUnique(paths, default_destination);
  return paths;
}

std::vector<std::wstring> DestinationPaths(const updatefileinfo& record) {
  return DestinationPaths(record, ConfigurationFolder(), SystemMacroFolders());
}

}  // namespace tarvolin
