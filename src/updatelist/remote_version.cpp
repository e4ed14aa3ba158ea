#include "updatelist/remote_version.h"

#include "common/guarded.h"

namespace tarvolin {
namespace {

Guarded<std::wstring>& StoredLabel() {
  // Never destroyed: threads may still use it while the process ends.
  static Guarded<std::wstring>* label = new Guarded<std::wstring>;
  return *label;
}

}  // namespace

std::wstring RemoteVersionLabel() { return StoredLabel().Get(); }
void SetRemoteVersionLabel(const std::wstring& label) { StoredLabel().Set(label); }

}  // namespace tarvolin
