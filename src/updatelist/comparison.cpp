#include "updatelist/comparison.h"

#include <algorithm>

#include <unordered_map>

#include "common/files.h"
#include "common/strings.h"
#include "config/settings.h"
#include "updatelist/destination_paths.h"

namespace tarvolin {
namespace {

// Candidates for the missing-file test: the record's installation targets, or,
// when it has none, the plain path under the application folder.
std::vector<std::wstring> LostFileCandidates(const updatefileinfo& record, const InstalledFiles& files) {
  std::vector<std::wstring> candidates = DestinationPaths(record, files.application_folder, files.folders);
  if (candidates.empty()) candidates.push_back(CollapseBackslashes(files.application_folder + L"\\" + record.path));
  return candidates;
}

bool AnyTargetMissing(const updatefileinfo& record, const InstalledFiles& files) {
  for (const std::wstring& candidate : LostFileCandidates(record, files)) {
    if (!files.exists(candidate)) return true;
  }
  return false;
}

// Path to version of the first installed record with that path; later
// duplicates are not looked at.
std::unordered_map<std::wstring, const std::wstring*> FirstVersionByPath(const std::vector<updatefileinfo>& installed) {
  std::unordered_map<std::wstring, const std::wstring*> versions;
  versions.reserve(installed.size());
  for (const updatefileinfo& record : installed) versions.emplace(record.path, &record.version);
  return versions;
}

}  // namespace

InstalledFiles SystemInstalledFiles() {
  return InstalledFiles{ConfigurationFolder(), SystemMacroFolders(), [](const std::wstring& path) {
                          return FileExists(path);
                        }};
}

bool IsFileRecord(const updatefileinfo& record) {
  return record.action != DescriptionRecord && record.action != TaskRecord;
}

void CompareLists(const std::vector<updatefileinfo>& remote, const std::vector<updatefileinfo>& installed,
                  bool check_lost_file, const InstalledFiles& files, std::vector<updatefileinfo>& due) {
  const auto installed_versions = FirstVersionByPath(installed);
  for (const updatefileinfo& record : remote) {
    if (record.version.empty()) continue;
    if (check_lost_file && IsFileRecord(record) && (record.action & ActionDelete) == 0 &&
        AnyTargetMissing(record, files)) {
      due.push_back(record);
      continue;
    }
    const auto found = installed_versions.find(record.path);
    if (found == installed_versions.end() || *found->second != record.version) due.push_back(record);
  }
}

void SplitDescriptionsAndTasks(DownloadListValues& list) {
  std::wstring description;
  std::vector<updatefileinfo> files;
  files.reserve(list.records.size());
  // Walking backwards puts the texts together in list order by prepending and
  // leaves the tasks last one first.
  for (auto it = list.records.rbegin(); it != list.records.rend(); ++it) {
    if (it->action == DescriptionRecord) {
      description.insert(0, it->dstName + kDescriptionLineBreak);
    } else if (it->action == TaskRecord) {
      list.tasks.push_back(it->path);
    } else {
      files.push_back(std::move(*it));
    }
  }
  list.records.assign(std::make_move_iterator(files.rbegin()), std::make_move_iterator(files.rend()));
  description = ReplaceAll(std::move(description), kEscapedCrLf, kDescriptionLineBreak);
  list.description = ReplaceAll(std::move(description), kEscapedLf, kDescriptionLineBreak);
}

void FillDownloadList(const std::vector<updatefileinfo>& remote, const std::vector<updatefileinfo>& installed,
                      DownloadListValues& list) {
  list.records.clear();
  list.description.clear();
  list.tasks.clear();
  const bool check_lost_file = ReadSettingBool(sections::kTarvolin, kCheckLostFileKey, L"0");
  CompareLists(remote, installed, check_lost_file, SystemInstalledFiles(), list.records);
  SplitDescriptionsAndTasks(list);
}

bool HandedOverWithin(const DownloadListValues& handed, const DownloadListValues& verified) {
  const auto without_messages = [](updatefileinfo record) {
    record.spare.clear();
    return record;
  };
  for (const updatefileinfo& record : handed.records) {
    const updatefileinfo plain = without_messages(record);
    const bool listed = std::any_of(verified.records.begin(), verified.records.end(),
                                    [&](const updatefileinfo& other) { return without_messages(other) == plain; });
    if (!listed) return false;
  }
  for (const std::wstring& task : handed.tasks)
    if (std::find(verified.tasks.begin(), verified.tasks.end(), task) == verified.tasks.end()) return false;
  return true;
}

}  // namespace tarvolin
