// Where the .NET Framework installer for a required version comes from, and
// how the version is shown. No Windows headers: plain rules, tested with tables.
#pragma once

#include <optional>
#include <string>

namespace tarvolin {

// The version without its dot, padded with zeros and cut to two characters:
// "2.0" -> "20", "4.5" -> "45", "2" -> "20".
std::wstring DotNetInstallerDigits(const std::wstring& version);

// The installer's address: the configured one ([APPLICATION] "dotnetfx" +
// digits) when set, else the updater maker's copy for the versions it keeps
// (10 11 20 30 35 40 45), else none.
std::optional<std::wstring> DotNetInstallerAddress(const std::wstring& digits, const std::wstring& configured,
                                                   const std::wstring& maker_server);

// The version as the dialog shows it: a dot after the first digit ("20" -> "2.0").
std::wstring DotNetVersionText(const std::wstring& digits);

// The [APPLICATION] key that names an installer address for `digits`.
std::wstring DotNetInstallerKey(const std::wstring& digits);
// The [APPLICATION] key of that installer's sha256 ("dotnetfx20sha256").
std::wstring DotNetInstallerDigestKey(const std::wstring& digits);

}  // namespace tarvolin
