// What a copy stage changes in the installation, and how to take it back.
//
// The copy keeps a journal of its changes, each line on the disk before the
// change it announces: a folder it created, a destination about to receive a
// new file (with the backup of what it held), that a destination now holds the
// file taken from the download folder, that a change did not happen after all.
// When the stage fails, a last line says the return has begun, and the changes
// are undone from the last to the first. A journal without that line is a copy
// that was cut short: the next copy carries it on and either completes the
// release or undoes both runs' changes. A journal with it is a return that was
// cut short: the next start finishes it. The decisions here look only at the
// journal and at which files exist, so they are tested directly. No Windows
// headers here.
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

// Everything the copies journaled changed, in the order it was changed.
struct InstallJournal {
  std::vector<PlacedFile> files;
  std::vector<std::wstring> created_folders;  // outermost first
  long long old_files_list_length = -1;       // "__oldfiles.lst" before the first copy; -1 when there was none
  bool returning = false;                     // the return has begun
  bool operator==(const InstallJournal&) const = default;
};

// The lines of the journal, each ending with a line break.
std::wstring JournalHeaderLines(long long old_files_list_length);
std::wstring CreatedFolderLine(const std::wstring& folder);
std::wstring PlacingLine(const std::wstring& destination, const std::wstring& backup);
std::wstring PlacedLine(const std::wstring& destination, const std::wstring& give_back);
std::wstring CancelLine(const std::wstring& destination);
std::wstring ReturningLine();

// A whole journal as text, and back. The last line may be cut short (the
// journal is only ever appended to) and is then ignored; a text that does not
// start with the header or holds a line of no known kind gives nothing.
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
