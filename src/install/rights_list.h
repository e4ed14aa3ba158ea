// The paths that need administrator rights. The write tests of the locked-file
// check fill the list; once the check is over, a non-empty list makes the run
// start an elevated copy of itself that finishes the update.
//
// Thread affinity: filled on the local-check worker thread and read there or,
// after that worker has finished, on the window's thread. The list guards
// itself anyway, so a stray reader never sees it half-changed.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace tarvolin {

class PathList {
 public:
  void Add(const std::wstring& path);
  void Clear();
  bool Empty() const;
  std::size_t Size() const;
  std::vector<std::wstring> Paths() const;

 private:
  mutable std::mutex guard_;
  std::vector<std::wstring> paths_;
};

// The one rights list of the process.
PathList& RightsList();

// The rule behind ElevationAvailable, apart from the system query: the query
// worked, the system is of the NT family and newer than major version 5.
bool ElevationExistsOn(bool version_query_ok, bool nt_family, unsigned long major_version);

// True when this system can run a program with raised rights.
bool ElevationAvailable();

// The elevation test: a failure with access denied, on a system with
// elevation, in a run that is not already the elevated one.
bool ElevationTestHolds(bool access_denied, bool elevation_available, bool elevated_run);

// Appends `path` when `last_error` (the system error of the failed open,
// rename or create) passes the elevation test. True when it was added.
bool AddToRightsList(const std::wstring& path, unsigned long last_error);

}  // namespace tarvolin
