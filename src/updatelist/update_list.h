// Reading an update list file (the server's list or the installed copy) into
// record arrays.
//
// Thread affinity: called on the check thread; it initialises COM there if the
// thread has not. Appends take the record-array lock because other threads read
// the arrays meanwhile.
#pragma once

#include <string>
#include <vector>

#include "updatelist/update_record.h"

namespace tarvolin {

// The list of what is installed, in the application folder.
inline constexpr wchar_t kInstalledListName[] = L"tarvolin.xml";

// The address pattern of files whose record carries no URL of its own.
inline constexpr wchar_t kDefaultFileUrlTemplate[] = L"{listurl-base}/{filename}";
// Process-wide; the downloader expands its placeholders.
std::wstring FileUrlTemplate();
void SetFileUrlTemplate(const std::wstring& url_template);

// The English text of the box shown when a loaded list cannot be walked.
inline constexpr wchar_t kListFormatErrorText[] = L"The xml file format error!";
inline constexpr wchar_t kListFormatErrorCaption[] = L"Tarvolin";

// Parses the list at `list_path` and appends its records to `records`.
// `as_remote`: the server's list (reads "fileurl", and the error box names the
// configured list URL) rather than the installed copy. True when the document
// was loaded and walked completely; records appended before a failure stay.
bool LoadUpdateList(const std::wstring& list_path, std::vector<updatefileinfo>& records, bool as_remote);

}  // namespace tarvolin
