// The check of a downloaded file against the digest its record promises,
// made before the file is parked for installation.
#pragma once

#include <string>

#include "updatelist/update_record.h"

namespace tarvolin {

// True when the file at `path` hashes to the digest the record promises, or
// the record promises none and the book carries no signing key. A mismatch (or a file that cannot be read) is logged with
// the record's path.
bool FileHasPromisedDigest(const updatefileinfo& record, const std::wstring& path);

}  // namespace tarvolin
