// Returning to the previous release when a copy stage fails: every file the
// copy put in place goes back to what it was, from its ".__old" backup, and
// every file it added goes, so that the application folder is again exactly
// what it was before the copy.
//
// The copy journals each change before making it ("__return.lst" in the
// application folder, see return_rules.h). A copy cut short leaves its journal
// behind: the backups it names outlive the start-up purge, and the next copy
// carries the journal on, so that should that copy fail too, the changes of
// both are undone. A return cut short is finished by the next start, before
// the purge. Each step of a return can be taken again, so a return interrupted
// any number of times still ends with the previous release.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "install/return_rules.h"

namespace tarvolin {

inline constexpr wchar_t kReturnJournalName[] = L"__return.lst";

// The configuration folder + "__return.lst".
std::wstring ReturnJournalPath();

// The changes of one copy stage, each written to the journal before it is
// made (when the journal is on the disk) and kept in memory.
class CopyJournal {
 public:
  // In memory only: for a placement that nothing will need to undo.
  CopyJournal() = default;
  // On the disk, carrying on the journal of a copy that was cut short, if any.
  static CopyJournal CarryOn();

  // Each of these is called before its change, and false means that the
  // journal could not be written: the change must not be made then, since a
  // return could not undo it.
  // Before `folder` is created.
  bool CreatedFolder(const std::wstring& folder);
  // Before `destination` changes; `backup` holds what it held (empty: nothing).
  bool Placing(const std::wstring& destination, const std::wstring& backup);
  // `destination` now holds the file taken from `give_back`. Unwritten, a
  // return removes the new file instead of parking it.
  void Placed(const std::wstring& destination, const std::wstring& give_back);
  // The change announced last for `destination` did not happen.
  void Cancelled(const std::wstring& destination);
  // The changes are about to be undone.
  void Returning();

  const InstallJournal& Changes() const { return changes_; }
  // The copy is complete: nothing of it will be undone.
  void Close();

 private:
  // False when the line is not on the disk; the journal is then as before.
  bool Append(const std::wstring& line);

  InstallJournal changes_;
  std::wstring path_;  // empty: in memory only
  bool started_ = false;
};

// Undoes every change of `journal`, last first, announcing each file put back
// or removed on `report_window` (may be null) and in the log. New files that
// were taken from the download folder are parked there again, so a later run
// need not fetch them anew. True when everything is as before the copy; the
// journal is gone then, otherwise it stays for the next start.
bool ReturnToPreviousRelease(CopyJournal& journal, HWND report_window);

// Finishes a return that was cut short. True when no return is pending
// afterwards (also when there was none, or only a copy cut short).
bool FinishInterruptedReturn();

// The backups the pending journal still needs; empty when there is none.
std::vector<std::wstring> BackupsHeldForReturn();

}  // namespace tarvolin
