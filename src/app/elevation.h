// Relaunching elevated when files need administrator rights, and resuming
// from the download list the relaunching process handed over.
#pragma once

#include <functional>
#include <string>

namespace tarvolin {

inline constexpr wchar_t kRunAsAdminKey[] = L"runasadmin";

// The hand-over file of the current list: cached list stem + ".lst".
std::wstring HandOverFilePath();
// The parameters of the elevated copy: the cleaned command line plus the marker.
std::wstring ElevatedParameters(const std::wstring& command_line);

// Starts `program` with `parameters` in `folder` through the shell's "runas"
// verb. 0 when it started; otherwise the system error (ERROR_CANCELLED when
// the reader refused the prompt).
unsigned long StartThroughRunAs(const std::wstring& program, const std::wstring& parameters,
                                const std::wstring& folder);
using ElevatedStarter = std::function<unsigned long(const std::wstring& program, const std::wstring& parameters,
                                                    const std::wstring& folder)>;

// Starts this program again with administrator rights. With save_list the
// current download list is written to the hand-over file first. True when the
// elevated copy started; when the reader refused or the start failed, the
// hand-over file is removed again, a line is logged and false is returned:
// nobody will carry this run on, so the caller ends it as a failed copy ends.
bool RelaunchElevated(bool save_list, const ElevatedStarter& start = StartThroughRunAs);
// Loads a hand-over file into the current download list (status included);
// the number of records, 0 when there is none or it cannot be read.
int LoadHandOverList(const std::wstring& path);
// With a signing key in the book, the records and tasks loaded from the
// hand-over file, which any program of the reader can rewrite, must all be in
// the list rebuilt from its verified copies (signatures and stamps checked
// again); a line is logged when they are not. True without a key.
bool HandOverIsVerified();

}  // namespace tarvolin
