// Decisions of the download scheduler that need no network or window: file
// addresses, which records are fetched, and the queue's wait rule.
#pragma once

#include <cstdint>
#include <string>

namespace tarvolin {

// The record's own URL, or the template with "{listurl-base}" and "{filename}"
// filled in; backslashes become slashes, doubled slashes are collapsed, and the
// scheme's "//" is restored.
std::wstring BuildFileUrlFrom(const std::wstring& record_url, const std::wstring& record_path,
                              const std::wstring& url_template, const std::wstring& list_url_base);

// A patch's address: an http or https address as it stands, anything else
// relative to the list's folder like a file's path.
std::wstring PatchUrlFrom(const std::wstring& patch_url, const std::wstring& list_url_base);

// Records that are not fetched: deletions, bits 0x10 and 0x20, and the
// description and task markers.
bool IsFetchedAction(std::uint32_t action);

// Whether the queue must wait before starting the file at `position` (0-based).
bool QueueMustWait(int position, int done_since_start, int errors, int files_at_once);

}  // namespace tarvolin
