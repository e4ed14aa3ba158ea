#include "download/internet_session.h"

#include <atomic>

#include "common/strings.h"
#include "config/settings.h"
#include "download/transfer_rules.h"

namespace tarvolin {
namespace {

constexpr wchar_t kProxyKey[] = L"Proxy";
constexpr wchar_t kProxyUserKey[] = L"ProxyUser";

// The two agent counters of the process.
struct AgentCounters {
  std::atomic<long> transfers{0};
  std::atomic<long> size_queries{0};
};

AgentCounters& Counters() {
  static AgentCounters counters;
  return counters;
}

void SetTextOption(HINTERNET session, DWORD option, const std::wstring& value) {
  ::InternetSetOptionW(session, option, const_cast<wchar_t*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
}

}  // namespace

unique_hinternet OpenSession(const std::wstring& agent) {
  std::wstring proxy = ReadSetting(sections::kTarvolin, kProxyKey);
  if (proxy.empty()) {
    return unique_hinternet(::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  }
  std::optional<ProxyAddress> address = ParseProxySetting(proxy);
  if (!address) {
    ::MessageBoxW(nullptr, kProxySetErrorText, nullptr, MB_OK);
    return unique_hinternet();
  }
  unique_hinternet session(
      ::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PROXY, ProxyString(*address).c_str(), nullptr, 0));
  if (!session) return session;
  ProxyCredentials credentials = ParseProxyUser(ReadSetting(sections::kTarvolin, kProxyUserKey));
  SetTextOption(session.get(), INTERNET_OPTION_PROXY_USERNAME, credentials.user);
  if (credentials.password) SetTextOption(session.get(), INTERNET_OPTION_PROXY_PASSWORD, *credentials.password);
  return session;
}

std::wstring NextTransferAgent() { return FormatWide(L"down%ld", ++Counters().transfers); }
std::wstring NextSizeQueryAgent() { return FormatWide(L"querysize%ld", ++Counters().size_queries); }

}  // namespace tarvolin
