// The freshness of a signed list: its root's stamp against the highest serial
// this book has accepted for the list's role, kept in the reader's registry
// where neither the configuration refresh nor the cache clean-up reaches.
//
// Threads: any.
#pragma once

#include <string>

namespace tarvolin {

enum class ListRole { kList, kTemplate };

// True when the list at `path` (its signature already verified) is for this
// book, not expired and not older than what was accepted before; the highest
// serial then rises to its own. A refusal is logged with `url`.
bool AcceptFreshList(ListRole role, const std::wstring& url, const std::wstring& path);

}  // namespace tarvolin
