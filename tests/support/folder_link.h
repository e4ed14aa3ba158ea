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

// A drive letter of our own for a folder, so that code that must refuse a
// drive root can be shown one whose loss would not matter. Windows maps it with
// DefineDosDeviceW; Wine finds its drives as Unix links in the prefix's
// "dosdevices" folder, so there such a link is made (and removed afterwards).
class ScratchDrive {
 public:
  explicit ScratchDrive(const std::wstring& folder);
  ~ScratchDrive();
  ScratchDrive(const ScratchDrive&) = delete;
  ScratchDrive& operator=(const ScratchDrive&) = delete;
  // "X:", or empty when no drive could be made.
  const std::wstring& name() const { return name_; }

 private:
  std::wstring name_;
  std::string unix_link_;
};

}  // namespace tarvolin::testing
