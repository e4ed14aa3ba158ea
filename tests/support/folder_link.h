// Links to folders for tests of code that must never follow one.
#pragma once

#include <string>

namespace tarvolin::testing {

// Makes `link` (not yet existing) a link to the folder `target` and checks that
// the system lists it as one (a folder with FILE_ATTRIBUTE_REPARSE_POINT).
// Windows gets a junction, which any user may make. Wine makes no junctions
// and no symbolic links from Windows calls, but lists a Unix symbolic link to a
// folder as a folder link, so under Wine a Unix link is made instead. False
// when neither works.
bool MakeFolderLink(const std::wstring& link, const std::wstring& target);

}  // namespace tarvolin::testing
