// The packed form of a download holds the file as its only entry.
#include "archive/zip_archive.h"
#include "archive/zip_rules.h"
#include "common/files.h"
#include "common/strings.h"
#include "config/log.h"

namespace tarvolin {
namespace {

// Removes an existing target so that only the archive's content can end up
// there. True when no file is left at the path.
bool ClearTarget(const std::wstring& target) {
  if (!FileExists(target)) return true;
  ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(target.c_str());
  return !FileExists(target);
}

ArchiveResult ExtractFirstEntry(const std::wstring& archive_path, const std::wstring& target) {
  ArchiveResult opened = ArchiveResult::kReadFailed;
  ArchiveHandle archive = OpenArchive(archive_path, std::nullopt, &opened);
  if (!archive) return opened;
  // The packed form of one file holds that file alone: whatever else it held
  // would go in unchecked beside it.
  ArchiveItem count;
  if (ArchiveResult got = GetArchiveItem(archive.get(), -1, count); got != ArchiveResult::kOk) return got;
  if (count.index != 1) return ArchiveResult::kHeaderFailed;
  ArchiveItem item;
  if (ArchiveResult got = GetArchiveItem(archive.get(), 0, item); got != ArchiveResult::kOk) return got;
  // A folder in place of the file would be installed as if it were the file.
  if (item.attributes & entry_attributes::kDirectory) return ArchiveResult::kHeaderFailed;
  ArchiveResult result = ExtractItemToFile(archive.get(), 0, target);
  CloseArchive(archive);
  return result;
}

}  // namespace

bool UnpackSingleFile(const std::wstring& archive_path, const std::wstring& target_path) {
  // An old file that stays would later be installed as the new one.
  if (!ClearTarget(target_path)) {
    WriteLog(FormatWide(L"unzip: cannot replace %ls", target_path.c_str()));
    return false;
  }
  ArchiveResult result = ExtractFirstEntry(archive_path, target_path);
  if (result == ArchiveResult::kOk) {
    ::SetFileAttributesW(target_path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return true;
  }
  WriteLog(FormatWide(L"unzip: %ls failed (0x%08lX)", archive_path.c_str(), static_cast<unsigned long>(result)));
  ClearTarget(target_path);
  return false;
}

}  // namespace tarvolin
