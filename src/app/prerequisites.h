// The runtime components the e-book needs (the Flash player and the .NET
// Framework), and the start of the e-book itself.
#pragma once

#include <windows.h>

#include <array>
#include <string>

namespace tarvolin {

bool DetectFlash();
// Ends the process (exit code 0) after telling the reader when the player is missing.
void RequireFlash();

// Installed framework versions, in the order 1.0 1.1 2.0 3.0 3.5 4.0 4.5.
using DotNetFlags = std::array<bool, 7>;
// Marks the versions whose folder names (under Microsoft.NET\Framework) begin with "v<version>".
void MarkDotNetFolder(const std::wstring& folder_name, DotNetFlags& flags);
DotNetFlags DetectDotNet();
std::wstring RequiredDotNet();
// Index into DotNetFlags of an accepted requirement value, or -1.
int DotNetFlagIndex(const std::wstring& requirement);
void CheckDotNetOnStart(HWND offer_parent);
// The offer of a missing framework version: the download dialog, or a warning
// when no installer address is known for the version.
void InstallDotNet(HWND parent, const std::wstring& version);
void StartMainApplication(int offer);

}  // namespace tarvolin
