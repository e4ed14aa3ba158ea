// Upgrade tasks: the XML task scripts an update may carry and the task strings
// of the update list. Everything runs on the calling thread, one action after
// the other; a waiting action blocks it until the started program has ended.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tarvolin {

// Loads the task script at `path` (a local file) and runs its document
// element. False, with a log line, when the file is missing or is not XML;
// nothing has run then. Initialises COM on the thread when nobody has.
//
// The elements: run, ren/rename, kill, path, del, shortcut, ini (names
// compared exactly); an element of any other name is a container whose child
// elements run in document order. Status lines go to `report_window` (may be
// null) and to the log; an action that lacks what it needs is skipped with a
// log line.
bool RunTaskScript(const std::wstring& path, HWND report_window);

// One task string of the list ("file9parameters9wait9key"): announces
// "Run[file][parameters][wait|nowait]" and starts the file through the shell,
// waiting for it when the wait text asks. True when the file was started.
bool RunTaskString(const std::wstring& task, HWND report_window);

// Every task string, in the order given (the download list keeps them in the
// order they are to run).
void RunTasks(const std::vector<std::wstring>& tasks, HWND report_window);

// Ends every other process whose image path is `path` or lies inside it, by
// whole path parts in any letter case (common/path_rules.h): each of its visible top-level windows is asked to end the
// session (100 ms), then sent WM_CLOSE and WM_QUIT, and the process is given
// 5,000 ms before it is terminated. A window that refuses keeps its process
// running. A process without a visible window cannot be asked and is
// terminated at once. This process is never touched. Number of processes found.
int KillProcessesByPath(const std::wstring& path);

}  // namespace tarvolin
