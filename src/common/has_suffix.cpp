#include "common/has_suffix.h"

#include <string>

#include "common/strings.h"

namespace tarvolin {

bool HasSuffix(std::wstring_view name, std::wstring_view suffix) {
  if (suffix.size() >= name.size()) return false;
  const std::wstring marked = ToLower(std::wstring(name)) + kSuffixSentinel;
  const std::wstring wanted = ToLower(std::wstring(suffix)) + kSuffixSentinel;
  // Only the match at the end counts: a string that carries the marker in its
  // middle must not pass for one that ends with the suffix.
  const std::size_t at_end = name.size() - suffix.size();
  return marked.compare(at_end, wanted.size(), wanted) == 0;
}

}  // namespace tarvolin
