#include "updatelist/file_digest.h"

#include "common/platform_crypto.h"
#include "common/strings.h"
#include "config/log.h"
#include "updatelist/list_signature.h"
#include "updatelist/trust_rules.h"

namespace tarvolin {
namespace {

constexpr wchar_t kMissingLog[] = L"digest mismatch[%ls] the list promises no digest for it";
constexpr wchar_t kMismatchLog[] = L"digest mismatch[%ls] %ls expected %ls, downloaded file has %ls";

const wchar_t* NameOf(DigestKind kind) { return kind == DigestKind::kSha256 ? L"sha256" : L"md5"; }

}  // namespace

bool FileHasPromisedDigest(const updatefileinfo& record, const std::wstring& path) {
  const std::optional<FileDigestRule> rule = DigestRuleFor(record);
  if (!rule) {
    // With a signing key, only the list's digest vouches for a file.
    if (!BookListSigningKey().required) return true;
    WriteLog(FormatWide(kMissingLog, record.path.c_str()));
    return false;
  }
  const std::optional<ByteString> actual = DigestOfFile(rule->kind, path);
  if (DigestMatches(*rule, actual)) return true;
  const std::wstring found = actual ? HexText(*actual) : std::wstring(L"(unreadable)");
  WriteLog(FormatWide(kMismatchLog, record.path.c_str(), NameOf(rule->kind), rule->text.c_str(), found.c_str()));
  return false;
}

}  // namespace tarvolin
