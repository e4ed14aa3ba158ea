#include "pipeline/patched_fetch.h"

#include <variant>

#include "archive/patch_file.h"
#include "common/files.h"
#include "common/platform_crypto.h"
#include "common/strings.h"
#include "config/log.h"
#include "download/file_downloader.h"
#include "pipeline/schedule_rules.h"
#include "updatelist/destination_paths.h"
#include "updatelist/list_settings.h"
#include "updatelist/list_url.h"
#include "updatelist/trust_rules.h"

namespace tarvolin {
namespace {

constexpr wchar_t kAppliedLog[] = L"patch applied[%ls] %ls";
constexpr wchar_t kFallbackLog[] = L"patch not used[%ls] %ls, fetching the whole file";

void RemoveFile(const std::wstring& path) {
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(path.c_str());
}

// Deletes the downloaded patch whatever the outcome.
class PatchFileScope {
 public:
  explicit PatchFileScope(std::wstring path) : path_(std::move(path)) {}
  ~PatchFileScope() { RemoveFile(path_); }
  PatchFileScope(const PatchFileScope&) = delete;
  PatchFileScope& operator=(const PatchFileScope&) = delete;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// The offer made from the installed file's exact bytes, or why there is none.
std::variant<PatchOffer, PatchFallback> MatchingOffer(const updatefileinfo& record, const std::wstring& installed) {
  const std::optional<long long> length = FileLength(installed);
  if (!length) return PatchFallback::kNoMatch;
  if (!PatchFitsMemoryCap(static_cast<std::uint64_t>(*length), 0, kPatchMemoryCap)) return PatchFallback::kTooLarge;
  const std::optional<ByteString> digest = DigestOfFile(DigestKind::kSha256, installed);
  if (!digest) return PatchFallback::kNoMatch;
  const std::wstring installed_sha256 = ToLower(HexText(*digest));
  for (const PatchOffer& offer : record.patches)
    if (offer.from == installed_sha256) return offer;
  return PatchFallback::kNoMatch;
}

bool HasListedDigest(const updatefileinfo& record, const std::wstring& file) {
  const std::optional<FileDigestRule> rule = DigestRuleFor(record);
  return rule && rule->kind == DigestKind::kSha256 && DigestMatches(*rule, DigestOfFile(DigestKind::kSha256, file));
}

std::optional<PatchFallback> TryPatch(HWND window, int index, const updatefileinfo& record, const std::wstring& target,
                                      std::wstring& used_url) {
  const std::vector<std::wstring> destinations = DestinationPaths(record);
  if (destinations.empty()) return PatchFallback::kNoMatch;
  const std::wstring& installed = destinations.front();
  const std::variant<PatchOffer, PatchFallback> match = MatchingOffer(record, installed);
  if (const auto* reason = std::get_if<PatchFallback>(&match)) return *reason;
  const PatchOffer& offer = std::get<PatchOffer>(match);

  used_url = PatchUrlFrom(offer.url, ListUrlBase());
  PatchFileScope patch(target + kPatchSuffix);
  if (DownloadFile(used_url, patch.path(), ThreadsPerFile(), static_cast<WPARAM>(index), window) != 0 ||
      FileLength(patch.path()).value_or(-1) != offer.size)
    return PatchFallback::kDownloadError;

  switch (ApplyPatchFile(installed, patch.path(), target)) {
    case PatchOutcome::kApplied:
      break;
    case PatchOutcome::kTooLarge:
      return PatchFallback::kTooLarge;
    case PatchOutcome::kDecodeError:
    case PatchOutcome::kOutputError:
      return PatchFallback::kDecodeError;
  }
  if (!HasListedDigest(record, target)) {
    RemoveFile(target);
    return PatchFallback::kDigestMismatch;
  }
  return std::nullopt;
}

}  // namespace

const wchar_t* PatchFallbackText(PatchFallback reason) {
  switch (reason) {
    case PatchFallback::kNoMatch:
      return L"no match";
    case PatchFallback::kDownloadError:
      return L"download error";
    case PatchFallback::kDecodeError:
      return L"decode error";
    case PatchFallback::kDigestMismatch:
      return L"digest mismatch";
    case PatchFallback::kTooLarge:
      return L"too large";
  }
  return L"";
}

bool FetchThroughPatch(HWND window, int index, const updatefileinfo& record, const std::wstring& target) {
  if (record.patches.empty()) return false;
  std::wstring used_url;
  const std::optional<PatchFallback> reason = TryPatch(window, index, record, target, used_url);
  if (!reason) {
    WriteLog(FormatWide(kAppliedLog, record.path.c_str(), used_url.c_str()));
    return true;
  }
  WriteLog(FormatWide(kFallbackLog, record.path.c_str(), PatchFallbackText(*reason)));
  return false;
}

}  // namespace tarvolin
