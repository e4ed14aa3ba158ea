#include "host/wmi_query.h"

#include "common/strings.h"
#include "host/machine_id_rules.h"

namespace tarvolin {
namespace {

// {CB8555CC-9128-11D1-AD9B-00C04FD8FDFF}; the system headers name only the plain locator.
constexpr CLSID kAdministrativeLocator = {0xcb8555cc, 0x9128, 0x11d1, {0xad, 0x9b, 0x00, 0xc0, 0x4f, 0xd8, 0xfd, 0xff}};

com_ptr<IWbemLocator> MakeLocator(const CLSID& locator_class) {
  com_ptr<IWbemLocator> locator;
  ::CoCreateInstance(locator_class, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.put_void());
  return locator;
}

// Lets WMI act on our behalf. Another part of the process may have set it
// already, which is as good.
bool InitialiseProcessSecurity() {
  const HRESULT hr = ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                            RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  return SUCCEEDED(hr) || hr == RPC_E_TOO_LATE;
}

}  // namespace

std::optional<WmiConnection> WmiConnection::Open(Kind kind) {
  com_ptr<IWbemLocator> locator;
  if (kind == Kind::kAdministrative) {
    if (!InitialiseProcessSecurity()) return std::nullopt;
    locator = MakeLocator(kAdministrativeLocator);
  }
  if (!locator) locator = MakeLocator(CLSID_WbemLocator);
  if (!locator) return std::nullopt;

  com_ptr<IWbemServices> services;
  unique_bstr name_space = MakeBstr(L"ROOT\\CIMV2");
  if (FAILED(locator->ConnectServer(name_space.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put())))
    return std::nullopt;
  if (kind == Kind::kSecuredProxy &&
      FAILED(::CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                 RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE)))
    return std::nullopt;
  return WmiConnection(std::move(services));
}

com_ptr<IEnumWbemClassObject> WmiConnection::Execute(const std::wstring& query) const {
  com_ptr<IEnumWbemClassObject> results;
  unique_bstr language = MakeBstr(L"WQL");
  unique_bstr text = MakeBstr(query);
  if (FAILED(services_->ExecQuery(language.get(), text.get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                  nullptr, results.put())))
    results.reset();
  return results;
}

std::optional<std::wstring> WmiConnection::FirstText(const std::wstring& query, const std::wstring& property) const {
  std::optional<std::wstring> found;
  ForEachValue(query, property, [&](const std::optional<std::wstring>& value) {
    if (value && !value->empty()) found = value;
    return !found;
  });
  return found;
}

std::optional<std::wstring> PropertyText(IWbemClassObject* object, const std::wstring& property) {
  unique_variant value;
  if (FAILED(object->Get(property.c_str(), 0, value.put(), nullptr, nullptr))) return std::nullopt;
  unique_variant text;
  // The system's declaration lacks the const; the source is only read.
  if (FAILED(::VariantChangeType(text.put(), const_cast<VARIANT*>(&value.get()), 0, VT_BSTR))) return std::nullopt;
  return BstrText(text.get().bstrVal);
}

std::vector<std::wstring> QueryWmiValues(const std::vector<std::wstring>& classes,
                                         const std::vector<std::wstring>& properties, bool first_only) {
  std::vector<std::wstring> values(classes.size());
  const std::optional<WmiConnection> wmi = WmiConnection::Open(WmiConnection::Kind::kAdministrative);
  if (!wmi) return values;
  for (std::size_t i = 0; i < classes.size() && i < properties.size(); ++i) {
    std::wstring query = L"Select * from " + classes[i];
    if (first_only && classes[i] == L"Win32_NetworkAdapter") query += kPhysicalAdapterCondition;
    std::wstring& collected = values[i];
    wmi->ForEachValue(query, properties[i], [&](const std::optional<std::wstring>& value) {
      return CollectInstanceValue(collected, value, first_only);
    });
  }
  return values;
}

}  // namespace tarvolin
