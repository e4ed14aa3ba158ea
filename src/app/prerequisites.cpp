#include "app/prerequisites.h"

#include <objbase.h>
#include <shellapi.h>

#include <utility>

#include "common/files.h"
#include "common/strings.h"
#include "common/unique_handle.h"
#include "app/dotnet_rules.h"
#include "config/settings.h"
#include "config/translation_loader.h"
#include "endpoints.h"
#include "install/run_file.h"
#include "ui/dotnet_download_dialog.h"

namespace tarvolin {
namespace {

constexpr wchar_t kFlashProgId[] = L"ShockwaveFlash.ShockwaveFlash";
constexpr wchar_t kEbookTitle[] = L"布伦诺克电子书";
constexpr wchar_t kFlashMissing[] = L"当前电脑未安装Flash，电子书无法运行!";
constexpr wchar_t kFlashMissingOffer[] = L"当前电脑未安装Flash，电子书无法运行，是否立即下载Flash安装包？";
constexpr wchar_t kDotNetRequirement[] = L"You must install .Net Framework 1.0 to run main application.";
constexpr wchar_t kFlashInstallerPath[] = L"/ClientBin/flashplayer25_0r0_148_winax.exe";

constexpr std::array<const wchar_t*, 7> kDotNetFolderPrefixes{L"v1.0", L"v1.1", L"v2.0", L"v3.0",
                                                                L"v3.5", L"v4.0", L"v4.5"};

// The real system version, not the one a compatibility layer reports.
int SystemVersionNumber() {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  auto rtl_get_version = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  if (!rtl_get_version || rtl_get_version(&info) != 0) return 0;
  return static_cast<int>(info.dwMajorVersion * 100 + info.dwMinorVersion);
}

bool RequirementUnmet(const std::wstring& requirement, const DotNetFlags& installed) {
  int index = DotNetFlagIndex(requirement);
  return index >= 0 && !installed[static_cast<std::size_t>(index)];
}

}  // namespace

bool DetectFlash() {
  CLSID clsid;
  return SUCCEEDED(::CLSIDFromProgID(kFlashProgId, &clsid));
}

void RequireFlash() {
  if (DetectFlash()) return;
  if (SystemVersionNumber() >= 602) {
    ::MessageBoxW(nullptr, kFlashMissing, kEbookTitle, MB_OK);
  } else if (::MessageBoxW(nullptr, kFlashMissingOffer, kEbookTitle, MB_YESNO | MB_ICONQUESTION) == IDYES) {
    std::wstring installer = std::wstring(endpoints::kBookServer) + kFlashInstallerPath;
    ::ShellExecuteW(nullptr, L"open", L"iexplore", installer.c_str(), nullptr, SW_SHOWMINIMIZED);
  }
  ::ExitProcess(0);
}

void MarkDotNetFolder(const std::wstring& folder_name, DotNetFlags& flags) {
  for (std::size_t i = 0; i < kDotNetFolderPrefixes.size(); ++i) {
    if (StartsWith(folder_name, kDotNetFolderPrefixes[i])) flags[i] = true;
  }
}

DotNetFlags DetectDotNet() {
  DotNetFlags flags{};
  WIN32_FIND_DATAW entry;
  unique_hfind find(::FindFirstFileW((WindowsFolder() + L"\\Microsoft.NET\\Framework\\*.*").c_str(), &entry));
  if (!find) return flags;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) MarkDotNetFolder(entry.cFileName, flags);
  } while (::FindNextFileW(find.get(), &entry));
  return flags;
}

std::wstring RequiredDotNet() {
  std::wstring required;
  for (const wchar_t* key : {L"DotNetFix", L"DotNetFx", L"dotnetfix", L"dotnetfx"}) {
    required = ReadSetting(sections::kTarvolin, key);
    if (!required.empty()) break;
  }
  static constexpr std::array<std::pair<const wchar_t*, const wchar_t*>, 6> kVersionKeys{{
      {L"dotnetfx10", L"1.0"},
      {L"dotnetfx11", L"1.1"},
      {L"dotnetfx20", L"2.0"},
      {L"dotnetfx30", L"3.0"},
      {L"dotnetfx35", L"3.5"},
      {L"dotnetfx40", L"4.0"},
  }};
  for (const auto& [key, version] : kVersionKeys) {
    if (!ReadSetting(sections::kTarvolin, key).empty()) return version;
  }
  return required;
}

int DotNetFlagIndex(const std::wstring& requirement) {
  static constexpr std::array<std::pair<const wchar_t*, int>, 10> kAccepted{{
      {L"1.0", 0},
      {L"1.1", 1},
      {L"2", 2},
      {L"2.0", 2},
      {L"3", 3},
      {L"3.0", 3},
      {L"3.5", 4},
      {L"4", 5},
      {L"4.0", 5},
      {L"4.5", 6},
  }};
  return LookUp(kAccepted, requirement, -1);
}

void CheckDotNetOnStart(HWND offer_parent) {
  std::wstring required = RequiredDotNet();
  if (RequirementUnmet(required, DetectDotNet())) InstallDotNet(offer_parent, required);
}

void StartMainApplication(int offer) {
  std::wstring application = MainApplicationPath();
  if (application.empty() || !FileExists(application)) return;
  std::wstring required = RequiredDotNet();
  if (RequirementUnmet(required, DetectDotNet())) {
    if (offer != 0) InstallDotNet(nullptr, required);
    return;
  }
  RunFile(application, L"", L"", false, nullptr);  // in its own folder
}

void InstallDotNet(HWND parent, const std::wstring& version) {
  const std::wstring title = ReadSetting(sections::kApplication, L"Name");
  const std::wstring text = ReplaceAll(Translate(kDotNetRequirement), L"1.0", version);
  const std::wstring digits = DotNetInstallerDigits(version);
  const auto address = DotNetInstallerAddress(
      digits, ReadSetting(sections::kApplication, DotNetInstallerKey(digits)), endpoints::kMakerServer);
  if (!address) {
    ::MessageBoxW(parent, text.c_str(), title.c_str(), MB_OK | MB_ICONWARNING);
    return;
  }
  DotNetDownloadDialog dialog(*address, DotNetVersionText(digits),
                              ReadSetting(sections::kApplication, DotNetInstallerDigestKey(digits)));
  dialog.DoModal(nullptr);
}

}  // namespace tarvolin
