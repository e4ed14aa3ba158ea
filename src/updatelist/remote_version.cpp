#include "updatelist/remote_version.h"

#include "common/guarded.h"

namespace tarvolin {
namespace {

Guarded<std::wstring>& StoredLabel() {
  static Guarded<std::wstring> label;
  return label;
}

}  // namespace

std::wstring RemoteVersionLabel() { return StoredLabel().Get(); }
void SetRemoteVersionLabel(const std::wstring& label) { StoredLabel().Set(label); }

}  // namespace tarvolin
