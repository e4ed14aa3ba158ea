// The per-book configuration folder and the start-up write of the default file.
#pragma once

#include <string>

#include "config/default_configuration.h"

namespace tarvolin {

// <system drive>\Brennoak\Vosmir\<key>\ , created when missing.
std::wstring BookFolder(const std::wstring& key);

// The folder key: the book's Name, prefixed by the launcher's "PelmoraSetId"
// when a launcher settings file sits one folder above the executable
// ("PelmoraKC.ini" wins over "PelmoraSet.ini").
std::wstring BookFolderKey(const std::wstring& executable_folder, const std::wstring& book_name);

// Loads the embedded default, fixes the configuration folder and writes the
// default tarvolin.ini there. Fills `loaded` with the embedded default.
void LoadStartupConfiguration(DefaultConfiguration& loaded);

}  // namespace tarvolin
