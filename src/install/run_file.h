// Starting a program on behalf of the update: status programs, per-record
// actions and the tasks of an update list all go through RunFile.
#pragma once

#include <windows.h>

#include <string>

namespace tarvolin {

// The announcement of a start: "Run file[<path>]" and, with parameters,
// "[<parameters>]".
std::wstring RunFileStatusText(const std::wstring& path, const std::wstring& parameters);

// Shows a status text on `report_window` (may be null) and writes it to the log.
void ReportTaskStatus(HWND report_window, const std::wstring& text);

// Starts an existing program through the shell with the default verb, shown
// normally, without error boxes; an empty working folder means the program's own
// folder (for a full path; the shell's choice otherwise).
// With `wait`, returns only when the program has ended (bounded by
// 0x7FFFFFFF ms). False, with a log line, when the shell could not start it.
bool StartWithShell(const std::wstring& path, const std::wstring& parameters, const std::wstring& working_folder,
                    bool wait);

// True for names that the task runner handles instead of the shell (".xml").
bool IsTaskScriptName(const std::wstring& path);

// Starts `file` (path macros expanded, relative to the configuration folder)
// through the shell with the default verb, shown normally. An empty working
// folder means the file's own folder. With `wait`, returns only when the
// program has ended (bounded by 0x7FFFFFFF ms). The status line goes to
// `report_window` (may be null) and to the log even when the file is missing.
// True when the program was started. A file ending in ".xml" is run as a task
// script instead, without a status line of its own; true when it could be loaded.
bool RunFile(const std::wstring& file, const std::wstring& parameters, const std::wstring& working_folder, bool wait,
             HWND report_window);

}  // namespace tarvolin
