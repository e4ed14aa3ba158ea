#include "app/dotnet_rules.h"

#include <array>
#include <string_view>

#include "common/strings.h"

namespace tarvolin {
namespace {

constexpr std::array<std::wstring_view, 7> kMakerVersions{L"10", L"11", L"20", L"30", L"35", L"40", L"45"};
// The maker's folder of framework installers on its download server.
constexpr wchar_t kMakerInstallerFolder[] = L"/download/dotnetfx/";
constexpr wchar_t kInstallerPrefix[] = L"dotnetfx";

}  // namespace

std::wstring DotNetInstallerDigits(const std::wstring& version) {
  return (RemoveAll(version, L".") + L"0000").substr(0, 2);
}

std::optional<std::wstring> DotNetInstallerAddress(const std::wstring& digits, const std::wstring& configured,
                                                   const std::wstring& maker_server) {
  if (!configured.empty()) return configured;
  for (std::wstring_view kept : kMakerVersions) {
    if (digits == kept) return maker_server + kMakerInstallerFolder + kInstallerPrefix + digits + L".exe";
  }
  return std::nullopt;
}

std::wstring DotNetVersionText(const std::wstring& digits) {
  if (digits.empty()) return digits;
  return digits.substr(0, 1) + L"." + digits.substr(1);
}

std::wstring DotNetInstallerKey(const std::wstring& digits) { return kInstallerPrefix + digits; }

std::wstring DotNetInstallerDigestKey(const std::wstring& digits) { return DotNetInstallerKey(digits) + L"sha256"; }

}  // namespace tarvolin
