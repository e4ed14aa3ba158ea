#include "app/appended_package.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "archive/zip_archive.h"
#include "common/files.h"
#include "common/strings.h"
#include "common/unique_handle.h"
#include "config/log.h"
#include "config/path_macros.h"
#include "config/settings.h"
#include "config/translation_loader.h"
#include "download/packed_fetch.h"
#include "pipeline/download_list.h"
#include "pipeline/parked_files.h"
#include "pipeline/schedule_rules.h"
#include "pipeline/scheduler.h"
#include "updatelist/comparison.h"
#include "updatelist/list_cache_name.h"
#include "updatelist/list_freshness.h"
#include "updatelist/list_retrieval.h"
#include "updatelist/list_signature.h"
#include "updatelist/list_url.h"
#include "updatelist/update_list.h"

namespace tarvolin {
namespace {

constexpr wchar_t kPackageFolderName[] = L"__package4tarvolin.tmp";
constexpr wchar_t kPackageListName[] = L"__list4tarvolin.tmp";
// Inside the package folder while it unpacks.
constexpr wchar_t kArchiveCopyName[] = L"__package.zip";
// Entries of the package.
constexpr wchar_t kListEntry[] = L"list.xml";
constexpr wchar_t kFilesFolder[] = L"files";

constexpr wchar_t kPackageFolderStuck[] = L"Find some wrong in this update package!";
constexpr DWORD kDeleteRetryPauseMs = 500;
constexpr DWORD kCopyPiece = 64 * 1024;

void LogPackage(const wchar_t* format, const std::wstring& value) { WriteLog(FormatWide(format, value.c_str())); }

bool ReadAt(HANDLE file, std::uint64_t offset, char* buffer, DWORD size) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!::SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return false;
  DWORD read = 0;
  return ::ReadFile(file, buffer, size, &read, nullptr) && read == size;
}

unique_hfile OpenForReading(const std::wstring& path) {
  return unique_hfile(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Copies the package's bytes out of the executable, piece by piece.
bool CopyPackage(const std::wstring& executable, const PackageLocation& location, const std::wstring& target) {
  unique_hfile source = OpenForReading(executable);
  unique_hfile output(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr));
  if (!source || !output) return false;
  std::vector<char> piece(kCopyPiece);
  std::uint64_t done = 0;
  while (done < location.size) {
    const DWORD size = static_cast<DWORD>(std::min<std::uint64_t>(kCopyPiece, location.size - done));
    DWORD written = 0;
    if (!ReadAt(source.get(), location.offset + done, piece.data(), size) ||
        !::WriteFile(output.get(), piece.data(), size, &written, nullptr) || written != size)
      return false;
    done += size;
  }
  return true;
}

// Deleted first so nothing of an earlier package mixes with this one; one
// retry for a scanner that holds a file for a moment.
bool ClearPackageFolder(const std::wstring& folder) {
  if (!FileExists(folder) || DeleteTree(folder)) return true;
  ::Sleep(kDeleteRetryPauseMs);
  if (DeleteTree(folder)) return true;
  const std::wstring title = ReadSetting(sections::kApplication, L"Name");
  ::MessageBoxW(nullptr, Translate(kPackageFolderStuck).c_str(), title.c_str(), MB_OK | MB_ICONWARNING);
  return false;
}

// Every entry, under the archive's own folder; false at the first that fails.
bool UnpackAll(const std::wstring& archive_path) {
  ArchiveHandle archive = OpenArchive(archive_path);
  if (!archive) return false;
  ArchiveItem count;
  if (GetArchiveItem(archive.get(), -1, count) != ArchiveResult::kOk) return false;
  for (int i = 0; i < count.index; ++i) {
    ArchiveItem item;
    if (GetArchiveItem(archive.get(), i, item) != ArchiveResult::kOk || item.name.empty() ||
        ExtractItemToFile(archive.get(), i, item.name) != ArchiveResult::kOk) {
      LogPackage(L"update package: entry %ls does not unpack", std::to_wstring(i));
      return false;
    }
  }
  return true;
}

// The package's list compared with the installed one, as a check would.
std::optional<DownloadListValues> DueRecordsOf(const std::wstring& list_path) {
  std::vector<updatefileinfo> remote, installed;
  if (!LoadUpdateList(list_path, remote, true)) return std::nullopt;
  LoadUpdateList(CollapseBackslashes(ConfigurationFolder() + L"\\" + kInstalledListName), installed, false);
  DownloadListValues values;
  FillDownloadList(remote, installed, values);
  return values;
}

std::wstring PackedFileOf(const std::wstring& folder, const updatefileinfo& record) {
  return CollapseBackslashes(folder + L"\\" + kFilesFolder + L"\\" + ReplaceAll(record.path, L"/", L"\\"));
}

// Every due file must be in the package; a release is never installed in part.
bool PackageHoldsAll(const std::wstring& folder, const std::vector<updatefileinfo>& records) {
  for (const updatefileinfo& record : records) {
    if (!IsFetchedAction(record.action)) continue;
    const std::wstring source = PackedFileOf(folder, record);
    if (!FileExists(source) || DirectoryExists(source)) {
      LogPackage(L"update package: it lacks[%ls]", record.path);
      return false;
    }
  }
  return true;
}

// Parks each due file where the download pass would have put it, for the
// address and version the pass will ask for.
bool ParkAll(const std::wstring& folder, const std::vector<updatefileinfo>& records) {
  for (const updatefileinfo& record : records) {
    if (!IsFetchedAction(record.action)) continue;
    const std::wstring target = CollapseBackslashes(DownloadFolder() + L"\\" + record.path);
    const std::wstring parked = target + kParkedSuffix;
    CreateDirectoryTree(FolderOf(target));
    ::SetFileAttributesW(parked.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!::MoveFileExW(PackedFileOf(folder, record).c_str(), parked.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
      LogPackage(L"update package: cannot park[%ls]", parked);
      return false;
    }
    RememberParked(target, BuildFileUrl(record), record.version);
  }
  return true;
}

// With a signing key in the book, the package's list is held to it as a
// fetched list is: its signature travels inside the package.
bool PackageListVerifies(const std::wstring& folder, const std::wstring& list) {
  const SignatureVerdict verdict =
      CheckListFile(BookListSigningKey(), list, folder + L"\\" + kListEntry + kSignatureSuffix);
  if (verdict == SignatureVerdict::kNotRequired) return true;
  if (verdict != SignatureVerdict::kGood) {
    WriteLog(L"update package: " + SignatureRefusalText(verdict));
    return false;
  }
  return AcceptFreshList(ListRole::kList, L"update package", list);
}

// Unpacks the package and leaves its due records in the download list.
bool HandOver(const std::wstring& executable, const PackageLocation& location, const std::wstring& folder) {
  const std::wstring archive = folder + L"\\" + kArchiveCopyName;
  if (!CreateDirectoryTree(folder) || !CopyPackage(executable, location, archive) || !UnpackAll(archive)) {
    WriteLog(L"update package: the archive is damaged");
    return false;
  }
  const std::wstring list = PackageListPath();
  ::DeleteFileW(list.c_str());
  if (!::MoveFileExW((folder + L"\\" + kListEntry).c_str(), list.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    WriteLog(L"update package: it holds no list");
    return false;
  }
  if (!PackageListVerifies(folder, list)) return false;
  // The elevated run rebuilds the list from these, as it does a fetched one.
  if (BookListSigningKey().required) KeepSignedListForQuickCheck(list, folder + L"\\" + kListEntry + kSignatureSuffix);
  // File addresses are built the way the check builds them, so the parked
  // files are recognised by the download pass.
  SetListUrlBase(ReadSetting(sections::kUpdateInfo, L"ListURL"));
  std::optional<DownloadListValues> due = DueRecordsOf(list);
  if (!due) {
    WriteLog(L"update package: its list cannot be read");
    return false;
  }
  if (due->records.empty()) {
    WriteLog(L"update package: everything in it is installed already");
    return false;
  }
  if (!PackageHoldsAll(folder, due->records) || !ParkAll(folder, due->records)) return false;
  // The copy stage makes the list of the installed files from this copy.
  const std::wstring cached = CachedListPath();
  if (!::CopyFileW(list.c_str(), cached.c_str(), FALSE)) {
    LogPackage(L"update package: cannot keep its list as[%ls]", cached);
    return false;
  }
  CurrentDownLoadList().Restore(*due);
  LogPackage(L"update package: %ls files taken from it", std::to_wstring(due->records.size()));
  return true;
}

}  // namespace

std::wstring PackageFolder() { return CollapseBackslashes(TemporaryFolder() + L"\\" + kPackageFolderName); }
std::wstring PackageListPath() { return CollapseBackslashes(TemporaryFolder() + L"\\" + kPackageListName); }

PackageLocation LocateAppendedPackage(const std::wstring& path) {
  unique_hfile file = OpenForReading(path);
  LARGE_INTEGER length{};
  if (!file || !::GetFileSizeEx(file.get(), &length) || length.QuadPart < static_cast<LONGLONG>(kPackageTrailerSize))
    return {};
  std::string tail(kPackageTrailerSize, '\0');
  const std::uint64_t file_length = static_cast<std::uint64_t>(length.QuadPart);
  if (!ReadAt(file.get(), file_length - kPackageTrailerSize, tail.data(), kPackageTrailerSize)) return {};
  return ParsePackageTrailer(tail, file_length);
}

bool TakeAppendedPackage(const std::wstring& path) {
  const PackageLocation location = LocateAppendedPackage(path);
  if (location.state == TrailerState::kAbsent) return false;
  if (location.state == TrailerState::kDamaged) {
    WriteLog(L"update package: the trailer at the end of the program is damaged");
    return false;
  }
  const std::wstring folder = PackageFolder();
  if (!ClearPackageFolder(folder)) return false;
  const bool taken = HandOver(path, location, folder);
  DeleteTree(folder);
  ::DeleteFileW(PackageListPath().c_str());
  return taken;
}

}  // namespace tarvolin
