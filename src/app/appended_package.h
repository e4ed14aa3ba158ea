// The update package a publisher may append to the executable, so that one
// file carries an offline update. The trailer is described in
// archive/package_trailer.h; the package is a zip archive holding
//   list.xml      the release's update list, as the publisher serves it
//   files/<path>  every file the list names, under its record path
// At start-up the package is unpacked, its list is compared with what is
// installed exactly as a fetched list would be, and the due files are parked
// in the download folder for that very list and version. The run then goes on
// as after a check that found them: the download pass finds every file parked
// and fetches nothing, and the local check, the copy and the tasks treat them
// as fetched files.
#pragma once

#include <string>

#include "archive/package_trailer.h"

namespace tarvolin {

// Temporary folder + "\__package4tarvolin.tmp", and the list handed over from it.
std::wstring PackageFolder();
std::wstring PackageListPath();

// Reads the trailer of the file at `path`.
PackageLocation LocateAppendedPackage(const std::wstring& path);

// The whole start-up step for the executable at `path`. True when the package
// left due files in the download list; the caller then treats the run as
// checked (status UpdateCheckRemoteOk). A missing, damaged or incomplete
// package changes nothing and start-up goes on.
bool TakeAppendedPackage(const std::wstring& path);

}  // namespace tarvolin
