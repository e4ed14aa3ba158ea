#include "updatelist/remote_version.h"

#include <mutex>

namespace tarvolin {
namespace {

struct Label {
  std::mutex guard;
  std::wstring text;
};

Label& Stored() {
  static Label label;
  return label;
}

}  // namespace

std::wstring RemoteVersionLabel() {
  std::lock_guard<std::mutex> hold(Stored().guard);
  return Stored().text;
}

void SetRemoteVersionLabel(const std::wstring& label) {
  std::lock_guard<std::mutex> hold(Stored().guard);
  Stored().text = label;
}

}  // namespace tarvolin
