// Putting downloaded files in place of installed ones.
//
// Every file reaches its destination in two steps: it is first written under a
// staging name beside the destination (destination + ".__new"), then renamed
// over the destination in one step. Whenever the process ends, the destination
// therefore holds either the old or the new file, never a part of one. The old
// file is kept as a backup under a ".__old" name, so that a failed update can
// put it back: a second link to it, or a copy where the volume has no links,
// made before the rename; a destination that cannot be replaced (a running
// program) is moved aside under that name instead. Every backup is listed for
// deletion at the next start.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "install/backup_rules.h"
#include "install/release_return.h"

namespace tarvolin {

// Where a file waits beside its destination until it replaces it.
inline constexpr wchar_t kStagedSuffix[] = L".__new";
// What a staged file must pass right before it replaces its destination (the
// record's digest); an empty check passes everything.
using StagedFileCheck = std::function<bool(const std::wstring& staged)>;

// Installs the downloaded file of one record. The file lies at `source` + "_";
// each destination receives a copy, made in the destination's own folder so
// that it takes that folder's inherited access list, whatever the downloaded
// file carried; the downloaded file goes once the last destination has it.
// Each copy passes `check` while it is held against writers, right before it
// is swapped in. False when the downloaded file is missing, a copy fails its
// check or a destination could not be replaced; that destination keeps its
// old file. Every step is logged. Every change to a destination goes to
// `journal` before it is made, with the backup of what the destination held.
bool UpdateOneFile(const std::wstring& source, const std::vector<std::wstring>& destinations,
                   CopyJournal& journal, const StagedFileCheck& check = {});
bool UpdateOneFile(const std::wstring& source, const std::vector<std::wstring>& destinations);

// Moves every file under `from` to the same relative path under `to`, each
// as a downloaded file is put in place (staged, swapped in, the old one kept
// as a backup, journaled), and removes the folders of `from` that end up
// empty. Stops at the first file that cannot be moved, which stays in `from`
// and is logged. True when everything was moved. Each file's staged copy must
// pass `check`, given the file's path under `from` and the staged copy.
using TreeFileCheck = std::function<bool(const std::wstring& source, const std::wstring& staged)>;
bool MoveTree(const std::wstring& from, const std::wstring& to, CopyJournal& journal,
              const TreeFileCheck& check = {});

}  // namespace tarvolin
