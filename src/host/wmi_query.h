// Reading hardware facts from WMI (root\cimv2) on a thread whose COM is
// initialised: one connection, WQL queries, property values as text.
#pragma once

#include <windows.h>
#include <wbemidl.h>

#include <optional>
#include <string>
#include <vector>

#include "common/com_ptr.h"

namespace tarvolin {

// Network adapters that have an address and are no software adapter of the
// system (those are enumerated under ROOT).
inline constexpr wchar_t kPhysicalAdapterCondition[] =
    L" WHERE (MACAddress IS NOT NULL) AND (NOT (PNPDeviceID LIKE 'ROOT%'))";

class WmiConnection {
 public:
  // How the locator is made and the connection secured.
  enum class Kind {
    // The plain locator; the proxy uses Windows NT authentication at call
    // level with impersonation.
    kSecuredProxy,
    // The administrative locator (the plain one where the system has no
    // administrative one), after the process's default security is set.
    kAdministrative,
  };
  // Nothing when the locator cannot be made or the connection fails.
  static std::optional<WmiConnection> Open(Kind kind);

  // The text of `property` of each object `query` returns, in order; nothing
  // for an object whose value cannot be read as text. `visit` returns false to
  // stop. False when the query itself fails.
  template <typename Visit>
  bool ForEachValue(const std::wstring& query, const std::wstring& property, Visit visit) const;

  // The first non-empty text of `property` among the objects `query` returns.
  std::optional<std::wstring> FirstText(const std::wstring& query, const std::wstring& property) const;

 private:
  explicit WmiConnection(com_ptr<IWbemServices> services) : services_(std::move(services)) {}
  com_ptr<IEnumWbemClassObject> Execute(const std::wstring& query) const;

  com_ptr<IWbemServices> services_;
};

// A property of one object as text; nothing when it is missing, null or not
// convertible.
std::optional<std::wstring> PropertyText(IWbemClassObject* object, const std::wstring& property);

template <typename Visit>
bool WmiConnection::ForEachValue(const std::wstring& query, const std::wstring& property, Visit visit) const {
  com_ptr<IEnumWbemClassObject> results = Execute(query);
  if (!results) return false;
  for (;;) {
    com_ptr<IWbemClassObject> object;
    ULONG returned = 0;
    if (results->Next(WBEM_INFINITE, 1, object.put(), &returned) != WBEM_S_NO_ERROR || returned == 0) break;
    if (!visit(PropertyText(object.get(), property))) break;
  }
  return true;
}

// The values of the earlier scheme: for each class its property (same index)
// over every instance, appended in order and trimmed. An instance whose value
// cannot be read empties what was collected for that class so far, as that
// scheme did. With `first_only`, a class stops at the first instance that
// gives a value, and network adapters are restricted as above. A class whose
// query fails stays empty; when WMI cannot be reached, all do.
std::vector<std::wstring> QueryWmiValues(const std::vector<std::wstring>& classes,
                                         const std::vector<std::wstring>& properties, bool first_only);

}  // namespace tarvolin
