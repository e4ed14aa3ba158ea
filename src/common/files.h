// Small file-system helpers over the Win32 API.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvolin {

bool FileExists(const std::wstring& path);       // a file or a folder
bool DirectoryExists(const std::wstring& path);
// Creates the folder and every missing level above it; true when it exists afterwards.
bool CreateDirectoryTree(const std::wstring& path);
// Creates or truncates the file and writes the bytes.
bool WriteWholeFile(const std::wstring& path, std::string_view bytes);
std::optional<std::string> ReadWholeFile(const std::wstring& path);
// Deletes every file under `folder` (read-only ones too) and then the folders.
// A link (junction, symbolic link, mount point) met on the way is removed
// itself and never entered, so nothing outside the tree is ever deleted; a
// link the system cannot remove on its own stays. A drive or share root, the
// empty path and a path that is no folder are refused (false, nothing
// touched). True when the folder is gone afterwards.
bool DeleteTree(const std::wstring& folder);
// Moves source to destination, replacing it, and rides out files that other
// programs (scanners, indexers) hold for a moment: up to 20 tries to delete the
// destination, then up to 20 tries to move, 800 ms apart. False when the source
// is missing or the destination never appears.
bool RobustRename(const std::wstring& source, const std::wstring& destination);
// Full path of this executable.
std::wstring ExecutablePath();
// Folder part of a path, without the trailing backslash ("" when none).
std::wstring FolderOf(const std::wstring& path);
// File name part of a path (after the last backslash or slash).
std::wstring FileNameOf(const std::wstring& path);
std::wstring WindowsFolder();
std::wstring SystemFolder();
// Length of a file from its attributes, without opening or reading it.
std::optional<long long> FileLength(const std::wstring& path);

}  // namespace tarvolin
