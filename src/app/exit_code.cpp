#include "app/exit_code.h"

namespace tarvolin {

int ExitCodeFor(int records, const std::wstring& label, const std::wstring& installed_version) {
  if (records != 0) return records;
  if (label.empty()) return 0;
  return label != installed_version ? kNewVersionExitCode : 0;
}

}  // namespace tarvolin
