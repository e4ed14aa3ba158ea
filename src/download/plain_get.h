// The simplest transfer: one GET into a new file, read in the transfer's pieces.
#pragma once

#include <string>

namespace tarvolin {

enum class PlainGetResult { Ok, UrlFailed, FileFailed, TransferFailed };

// Creates (or truncates) `path` and writes the response body into it. A reply
// other than 200 counts as a failed URL, so an error page never becomes the file.
PlainGetResult PlainGetToFile(const std::wstring& url, const std::wstring& path, const std::wstring& agent);

}  // namespace tarvolin
