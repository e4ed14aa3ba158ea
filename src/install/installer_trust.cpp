#include "install/installer_trust.h"

#include <windows.h>
#include <shellapi.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include "common/platform_crypto.h"
#include "common/strings.h"
#include "common/unique_handle.h"
#include "config/log.h"
#include "updatelist/trust_rules.h"

namespace tarvolin {
namespace {

// Revocation is not asked about (no network round trip before an install),
// so "unknown" revocation states are no fault of the chain.
constexpr DWORD kRevocationNotChecked = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

// The verifier's state for one file, closed when it goes.
class TrustCheck {
 public:
  explicit TrustCheck(const std::wstring& path) {
    file_.cbStruct = sizeof file_;
    file_.pcwszFilePath = path.c_str();
    data_.cbStruct = sizeof data_;
    data_.dwUIChoice = WTD_UI_NONE;
    data_.fdwRevocationChecks = WTD_REVOKE_NONE;
    data_.dwUnionChoice = WTD_CHOICE_FILE;
    data_.pFile = &file_;
    data_.dwStateAction = WTD_STATEACTION_VERIFY;
    result_ = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
  }
  ~TrustCheck() {
    data_.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
  }
  TrustCheck(const TrustCheck&) = delete;
  TrustCheck& operator=(const TrustCheck&) = delete;

  LONG result() const { return result_; }
  // The first signer's certificate chain, as the verifier built it.
  PCCERT_CHAIN_CONTEXT SignerChain() const {
    CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data_.hWVTStateData);
    CRYPT_PROVIDER_SGNR* signer = provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    return signer ? signer->pChainContext : nullptr;
  }

 private:
  GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  WINTRUST_FILE_INFO file_{};
  WINTRUST_DATA data_{};
  LONG result_ = TRUST_E_FAIL;
};

long ChainError(PCCERT_CHAIN_CONTEXT chain) {
  if (!chain) return CERT_E_CHAINING;
  const DWORD faults = chain->TrustStatus.dwErrorStatus & ~kRevocationNotChecked;
  if (faults & CERT_TRUST_IS_UNTRUSTED_ROOT) return CERT_E_UNTRUSTEDROOT;
  if (faults != CERT_TRUST_NO_ERROR) return CERT_E_CHAINING;
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, chain, &policy, &status)) {
    return CERT_E_CHAINING;
  }
  return static_cast<long>(status.dwError);
}

}  // namespace

bool InstallerMayRun(const InstallerFindings& findings) {
  return findings.signature_trusted && findings.digest_matches.value_or(true);
}

long AuthenticodeError(const std::wstring& path) {
  TrustCheck check(path);
  if (check.result() != ERROR_SUCCESS) return check.result();
  return ChainError(check.SignerChain());
}

bool VerifyInstaller(const std::wstring& path, const std::wstring& expected_sha256) {
  InstallerFindings findings;
  const long signature_error = AuthenticodeError(path);
  findings.signature_trusted = signature_error == 0;
  if (!findings.signature_trusted) {
    WriteLog(FormatWide(L"installer[%ls] not started: its signature does not verify (0x%08lx)", path.c_str(),
                        static_cast<unsigned long>(signature_error)));
  }
  if (!expected_sha256.empty()) {
    const auto expected = ParseHexBytes(Trim(expected_sha256), DigestLength(DigestKind::kSha256));
    const auto actual = DigestOfFile(DigestKind::kSha256, path);
    findings.digest_matches = expected && actual && *expected == *actual;
    if (!*findings.digest_matches) {
      WriteLog(FormatWide(L"installer[%ls] not started: sha256 %ls expected, the file has %ls", path.c_str(),
                          expected_sha256.c_str(), actual ? HexText(*actual).c_str() : L"(unreadable)"));
    }
  }
  return InstallerMayRun(findings);
}

bool StartVerifiedInstaller(HWND parent, const std::wstring& path, const std::wstring& expected_sha256) {
  // Read sharing only, from before the check until the start: the file that
  // runs is the file that was checked.
  unique_hfile held(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!held) {
    WriteLog(FormatWide(L"installer[%ls] not started: it cannot be held (error %lu)", path.c_str(), ::GetLastError()));
    return false;
  }
  if (!VerifyInstaller(path, expected_sha256)) return false;
  const HINSTANCE started = ::ShellExecuteW(parent, L"runas", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  // ShellExecute reports success as a value above 32.
  return reinterpret_cast<INT_PTR>(started) > 32;
}

}  // namespace tarvolin
