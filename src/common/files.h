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
// Deletes everything inside the folder, then the folder.
void RemoveFolderTree(const std::wstring& folder);
// Full path of this executable.
std::wstring ExecutablePath();
// Folder part of a path, without the trailing backslash ("" when none).
std::wstring FolderOf(const std::wstring& path);
// File name part of a path (after the last backslash or slash).
std::wstring FileNameOf(const std::wstring& path);
std::wstring WindowsFolder();
std::wstring SystemFolder();

}  // namespace tarvolin
