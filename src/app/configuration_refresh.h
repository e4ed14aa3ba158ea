// Replaces the default tarvolin.ini by the copy the publisher holds for this book.
#pragma once

#include <string>

namespace tarvolin {

std::wstring ConfigurationEndpointUrl(const std::wstring& ebook_id);

// Downloads the book's configuration; on failure the previous file is restored.
// True when the server's copy is in place. With a signing key in the book, the
// copy checked is also sealed as the run's configuration (see SealConfiguration).
bool RefreshConfiguration();

}  // namespace tarvolin
