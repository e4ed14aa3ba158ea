#include "pipeline/schedule_rules.h"

#include "common/strings.h"
#include "updatelist/update_record.h"

namespace tarvolin {

std::wstring BuildFileUrlFrom(const std::wstring& record_url, const std::wstring& record_path,
                              const std::wstring& url_template, const std::wstring& list_url_base) {
  std::wstring url = record_url;
  if (url.empty()) {
    url = ReplaceAll(ReplaceAll(url_template, L"{listurl-base}", list_url_base), L"{filename}", record_path);
  }
  url = ReplaceAll(url, L"\\", L"/");
  url = ReplaceAll(url, L"//", L"/");
  url = ReplaceAll(url, L"http:/", L"http://");
  url = ReplaceAll(url, L"HTTP:/", L"HTTP://");
  // Secure addresses get their "//" back the same way.
  url = ReplaceAll(url, L"https:/", L"https://");
  url = ReplaceAll(url, L"HTTPS:/", L"HTTPS://");
  return url;
}

std::wstring PatchUrlFrom(const std::wstring& patch_url, const std::wstring& list_url_base) {
  const std::wstring lower = ToLower(patch_url);
  const bool absolute = StartsWith(lower, L"http:") || StartsWith(lower, L"https:");
  return BuildFileUrlFrom(absolute ? patch_url : std::wstring(), patch_url, L"{listurl-base}/{filename}",
                          list_url_base);
}

bool IsFetchedAction(std::uint32_t action) {
  if (action & ActionDelete) return false;
  if (action & (0x10u | 0x20u)) return false;
  if (action & 0x7F000000u) return false;
  return true;
}

bool QueueMustWait(int position, int done_since_start, int errors, int files_at_once) {
  return (position + 1) - done_since_start - errors >= files_at_once;
}

}  // namespace tarvolin
