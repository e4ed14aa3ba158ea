#include "updatelist/list_freshness.h"

#include <windows.h>

#include "common/strings.h"
#include "common/unique_handle.h"
#include "config/log.h"
#include "config/settings.h"
#include "updatelist/trust_rules.h"
#include "updatelist/xml_dom.h"

namespace tarvolin {
namespace {

constexpr wchar_t kSerialsKey[] = L"Software\\Tarvolin\\ListSerials";
constexpr wchar_t kListElement[] = L"update";

std::wstring SerialValueName(ListRole role) {
  return ReadSetting(sections::kApplication, L"EBookID") + (role == ListRole::kTemplate ? L".template" : L".list");
}

unsigned long long HighestSerial(ListRole role) {
  unsigned long long value = 0;
  DWORD size = sizeof value;
  if (::RegGetValueW(HKEY_CURRENT_USER, kSerialsKey, SerialValueName(role).c_str(), RRF_RT_REG_QWORD, nullptr,
                     &value, &size) != ERROR_SUCCESS)
    return 0;
  return value;
}

void RaiseHighestSerial(ListRole role, unsigned long long serial) {
  if (serial <= HighestSerial(role)) return;
  unique_hkey key;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kSerialsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    return;
  ::RegSetValueExW(key.get(), SerialValueName(role).c_str(), 0, REG_QWORD, reinterpret_cast<const BYTE*>(&serial),
                   sizeof serial);
}

std::wstring TodayUtc() {
  SYSTEMTIME now{};
  ::GetSystemTime(&now);
  return FormatWide(L"%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
}

// The root's stamp; a file that is no list has none (the merge refuses it).
ListStamp StampOf(const std::wstring& path) {
  ListStamp stamp;
  ComThreadScope com;
  XmlDocument document;
  XmlNode root;
  if (!document.Create() || !document.Load(path) || !document.AsNode().ChildElement(kListElement, root)) return stamp;
  root.Attribute(L"serial", stamp.serial);
  root.Attribute(L"expires", stamp.expires);
  root.Attribute(L"book", stamp.book);
  return stamp;
}

}  // namespace

bool AcceptFreshList(ListRole role, const std::wstring& url, const std::wstring& path) {
  const ListStamp stamp = StampOf(path);
  const std::wstring book =
      role == ListRole::kTemplate ? std::wstring(kTemplateListBook) : ReadSetting(sections::kApplication, L"EBookID");
  const FreshnessVerdict verdict = JudgeListStamp(stamp, book, HighestSerial(role), TodayUtc());
  if (verdict != FreshnessVerdict::kFresh) {
    WriteLog(FreshnessRefusalText(verdict) + L": " + url);
    return false;
  }
  RaiseHighestSerial(role, ParseListSerial(stamp.serial).value_or(0));
  return true;
}

}  // namespace tarvolin
