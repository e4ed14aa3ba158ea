// Backups of replaced files. A file that could not be deleted during the copy
// (a running program, a file another program holds) was moved aside; its new
// name goes into "__oldfiles.lst" in the application folder, and the next
// start deletes what that list names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvolin {

inline constexpr wchar_t kOldFilesListName[] = L"__oldfiles.lst";

// The configuration folder + "__oldfiles.lst".
std::wstring OldFilesListPath();

// The listed paths: one per line, trimmed, empty lines skipped. The file is
// UTF-8, so any path the system allows survives the round trip.
std::vector<std::wstring> ParseOldFilesList(std::string_view bytes);

// True when the application folder or a folder between it and `path` is a
// link (junction, symbolic link): through it the path would reach elsewhere.
// `path` lies inside `application_folder` by its text.
bool PassesThroughLink(const std::wstring& application_folder, const std::wstring& path);

// Appends a line break and `path` to the list, creating the file when
// missing. False, with a log line, when it could not be written.
bool RecordOldFile(const std::wstring& path);

// Run once at start-up. First finishes a return to the previous release that
// was cut short (release_return.h). Then deletes every listed backup that
// exists, but for those a pending journal names (a copy cut short, or a return
// that could not be finished): a return may still need them. A backup
// whose original is missing (the run that made it ended before the new file
// was in place) is renamed back instead, so the user keeps a file and the next
// update replaces it again. Only backups the copy stage made are touched (see
// backup_rules.h), and none reached through a link inside the application
// folder; any other entry is skipped with a log line and dropped. When every
// backup was dealt with, the list goes too; otherwise it stays for the next
// start.
void PurgeOldFiles();

}  // namespace tarvolin
