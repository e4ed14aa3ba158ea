// What a copy stage changed in the installation, and how to take it back. The
// copy notes every file it put in place; when the stage fails, that record is
// written down as a journal before the first file goes back, so that a return
// cut short by a kill is finished by the next start. The decisions here look
// only at the record and at which files exist, so they are tested directly.
// No Windows headers here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvolin {

// One destination that the copy put a new file in.
struct PlacedFile {
  std::wstring destination;
  std::wstring backup;     // the file it held before; empty when it held none
  std::wstring give_back;  // where the new file came from, to be parked there again; may be empty
  bool operator==(const PlacedFile&) const = default;
};

// Everything one copy stage changed, in the order it changed it.
struct InstallJournal {
  std::vector<PlacedFile> files;
  std::vector<std::wstring> created_folders;  // outermost first
  long long old_files_list_length = -1;       // "__oldfiles.lst" before the copy; -1 when there was none
  bool operator==(const InstallJournal&) const = default;
};

// The journal as text, and back. A text that does not end with the closing
// line (a write cut short) or holds a line of no known kind gives nothing.
std::wstring JournalText(const InstallJournal& journal);
std::optional<InstallJournal> ParseJournal(std::wstring_view text);

// The journal lies in a folder that other programs can write to and the return
// may run elevated, so an entry read back is only acted on when it is one the
// copy could have written: a destination inside the application folder, a
// backup under one of the names the copy gives backups of that destination, a
// parked file inside the download folder. What an entry names beyond that is
// dropped (a give-back) or the entry is skipped; `skipped` gets the skipped
// destinations and folders.
InstallJournal TrustedPart(const InstallJournal& journal, const std::wstring& application_folder,
                           const std::wstring& download_folder, std::vector<std::wstring>& skipped);

// Which of the files of an entry exist now (a folder counts as no file).
struct PlacedFileState {
  bool destination = false;
  bool backup = false;
  bool give_back = false;
};

enum class ReturnStep {
  kNothing,        // the destination is as it was before the copy already
  kPutBackupBack,  // the backup takes the destination's place again
  kRemoveAdded,    // the destination did not exist before the copy
};

struct ReturnAction {
  ReturnStep step = ReturnStep::kNothing;
  bool give_back = false;  // first move the new file to its parked name
  bool operator==(const ReturnAction&) const = default;
};

// The step that brings one entry back. Applied to the entries from the last to
// the first, and again to any of them after an interruption, it ends with
// every destination as before the copy: a backup that is gone has been put
// back already, and an added file that is gone has been removed.
ReturnAction DecideReturn(const PlacedFile& file, const PlacedFileState& state);

}  // namespace tarvolin
