// Whether a downloaded installer may be started: its Authenticode signature
// must verify with a chain to a trusted root, and when the configuration gives
// a sha256 for it, the file must hash to that too.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tarvolin {

// What was found about one installer file.
struct InstallerFindings {
  bool signature_trusted = false;
  // Nothing when no digest was asked for; false also for a digest text that is
  // not 64 hexadecimal digits.
  std::optional<bool> digest_matches;
};

// The decision: a trusted signature, and the digest when one was asked for.
bool InstallerMayRun(const InstallerFindings& findings);

// 0 when the file's Authenticode signature verifies (WinVerifyTrust) and its
// signer's chain ends at a trusted root without other faults; else the error
// (TRUST_E_NOSIGNATURE, TRUST_E_BAD_DIGEST, CERT_E_UNTRUSTEDROOT, CERT_E_CHAINING ...).
// The chain is judged here as well, since not every WinVerifyTrust does.
long AuthenticodeError(const std::wstring& path);

// Checks `path` and logs why it may not run. `expected_sha256` is the
// configured hexadecimal digest, or "" for none.
bool VerifyInstaller(const std::wstring& path, const std::wstring& expected_sha256);

// Holds the file so that nobody can change, replace or delete it, verifies it,
// and only then starts it elevated (shell verb "runas"). False, with a log
// line, when it was not started.
bool StartVerifiedInstaller(HWND parent, const std::wstring& path, const std::wstring& expected_sha256);

}  // namespace tarvolin
