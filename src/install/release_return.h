// Returning to the previous release when a copy stage fails: every file the
// copy put in place goes back to what it was, from its ".__old" backup, and
// every file it added goes, so that the application folder is again exactly
// what it was before the copy.
//
// The return first writes what it is about to undo to a journal
// ("__return.lst" in the application folder), whole or not at all, and
// removes it when everything is back. A run ended in between leaves the
// journal behind; the next start finishes the return from it before it
// purges backups, and the backups the journal names are kept until it has.
// Each step can be taken again, so a return interrupted any number of times
// still ends with the previous release.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "install/return_rules.h"

namespace tarvolin {

inline constexpr wchar_t kReturnJournalName[] = L"__return.lst";

// The configuration folder + "__return.lst".
std::wstring ReturnJournalPath();

// Undoes what `journal` says the copy changed, last change first, announcing
// each file put back or removed on `report_window` (may be null) and in the
// log. New files that were taken from the download folder are parked there
// again, so a later run need not fetch them anew. True when everything is as
// before the copy; otherwise the journal stays for the next start.
bool ReturnToPreviousRelease(const InstallJournal& journal, HWND report_window);

// Finishes a return that was cut short, from its journal. True when no return
// is pending afterwards (also when there was none).
bool FinishInterruptedReturn();

// The backups a pending return still needs; empty when none is pending.
std::vector<std::wstring> BackupsHeldForReturn();

}  // namespace tarvolin
