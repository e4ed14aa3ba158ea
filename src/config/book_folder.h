// The per-book configuration folder and the start-up write of the default file.
#pragma once

#include <string>

#include "config/default_configuration.h"

namespace tarvolin {

// <system drive>\Brennoak\Vosmir\<key>\ , created when missing. Every level
// made here gets access rules of its own instead of inheriting the system
// drive's, which let every user change what is created under its root: the
// book folder holds the lists that an elevated run trusts (the backups to
// purge, the hand-over list).
std::wstring BookFolder(const std::wstring& key);

// The access rules (SDDL) of the book folder itself: full access for the
// reader's account `user_sid`, SYSTEM and Administrators; other users may
// read and run what is there, never change it.
std::wstring BookFolderAccessRules(const std::wstring& user_sid);
// The access rules (SDDL) of the levels above it, which other books and other
// users share: anyone may add a folder, nobody but SYSTEM and Administrators
// may change or remove one; a folder's creator gets full access to it.
std::wstring SharedFolderAccessRules();

// The folder key: the book's Name, prefixed by the launcher's "PelmoraSetId"
// when a launcher settings file sits one folder above the executable
// ("PelmoraKC.ini" wins over "PelmoraSet.ini").
std::wstring BookFolderKey(const std::wstring& executable_folder, const std::wstring& book_name);

// Loads the embedded default, fixes the configuration folder and writes the
// default tarvolin.ini there. Fills `loaded` with the embedded default.
void LoadStartupConfiguration(DefaultConfiguration& loaded);

}  // namespace tarvolin
