#include "updatelist/list_url.h"

#include "common/guarded.h"
#include "common/strings.h"
#include "config/settings.h"

namespace tarvolin {
namespace {

Guarded<std::wstring>& StoredBase() {
  // Never destroyed: threads may still use it while the process ends.
  static Guarded<std::wstring>* base = new Guarded<std::wstring>;
  return *base;
}

}  // namespace

std::wstring ExpandListUrlWith(const std::wstring& url, const std::wstring& parameter,
                               const std::wstring& parameter1, const std::wstring& parameter2) {
  std::wstring expanded = url;
  expanded = ReplaceAll(ReplaceAll(expanded, L"[param1]", parameter1), L"{param1}", parameter1);
  expanded = ReplaceAll(ReplaceAll(expanded, L"[param2]", parameter2), L"{param2}", parameter2);
  expanded = ReplaceAll(ReplaceAll(expanded, L"[param]", parameter), L"{param}", parameter);
  return expanded;
}

std::wstring ExpandListUrl(const std::wstring& url) {
  return ExpandListUrlWith(url, ReadSetting(sections::kUpdateInfo, L"Parameter"),
                           ReadSetting(sections::kUpdateInfo, L"Parameter1"),
                           ReadSetting(sections::kUpdateInfo, L"Parameter2"));
}

std::wstring ListUrlBaseOf(const std::wstring& url) {
  std::size_t slash = url.rfind(L'/');
  if (slash != std::wstring::npos && slash + 2 < url.size()) return url.substr(0, slash);
  return url;
}

void SetListUrlBase(const std::wstring& url) { StoredBase().Set(ListUrlBaseOf(url)); }
std::wstring ListUrlBase() { return StoredBase().Get(); }

ProbeReply ParseProbeReply(const std::vector<std::wstring>& lines) {
  std::wstring text;
  for (const auto& line : lines) text += line;
  text = Trim(text);
  text = ReplaceAll(ReplaceAll(text, L"Ver", L"ver"), L"VER", L"ver");
  text = ReplaceAll(ReplaceAll(text, L"URL", L"url"), L"Url", L"url");

  ProbeReply reply;
  const std::wstring ver_tag = L"<ver>";
  if (std::size_t at = text.find(ver_tag); at != std::wstring::npos) {
    std::size_t begin = at + ver_tag.size();
    std::size_t end = text.find(L'<', begin);
    if (end != std::wstring::npos && end > begin) reply.version = text.substr(begin, end - begin);
  }
  const std::wstring url_tag = L"<url>";
  for (std::size_t at = text.find(url_tag); at != std::wstring::npos; at = text.find(url_tag, at + 1)) {
    std::size_t begin = at + url_tag.size();
    std::size_t end = text.find(L'<', begin);
    if (end == std::wstring::npos) continue;  // a piece without a closing "<" adds nothing
    reply.mirrors.push_back(text.substr(begin, end - begin));
  }
  return reply;
}

}  // namespace tarvolin
