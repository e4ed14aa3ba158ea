// The .NET installer's check before it runs, on real signed files: copies of the
// install helper signed by a test publisher whose root this test trusts inside
// its own Wine prefix, not signed, changed after signing, signed under a root
// nobody trusts, and self-signed (tests/install/make_signed_installers.sh).
#include "install/installer_trust.h"

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <gtest/gtest.h>

#include <cwctype>

#include "common/files.h"
#include "common/platform_crypto.h"
#include "install_fixture.h"
#include "updatelist/trust_rules.h"

namespace tarvolin {
namespace {

using testing::InstallFolders;

std::wstring Fixture(const wchar_t* name) { return testing::BuiltProgram(L"signed_installers\\") + name; }

// Trusts the test root in this prefix's machine store, as a publisher's real
// root is trusted on a reader's machine. Only the test prefix ever sees it.
void TrustTestRoot() {
  const auto der = ReadWholeFile(Fixture(L"root.der"));
  ASSERT_TRUE(der.has_value());
  HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  ASSERT_NE(store, nullptr);
  const BOOL added = ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
                                                        reinterpret_cast<const BYTE*>(der->data()),
                                                        static_cast<DWORD>(der->size()), CERT_STORE_ADD_REPLACE_EXISTING,
                                                        nullptr);
  ::CertCloseStore(store, 0);
  ASSERT_TRUE(added);
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

std::wstring Sha256Of(const std::wstring& path) {
  const auto digest = DigestOfFile(DigestKind::kSha256, path);
  return digest ? HexText(*digest) : L"";
}

class InstallerTrustTest : public ::testing::Test {
 protected:
  void SetUp() override { TrustTestRoot(); }
};

TEST_F(InstallerTrustTest, OnlyASignatureUnderATrustedRootVerifies) {
  struct Case {
    const wchar_t* file;
    long error;  // 0: verifies
  } cases[] = {
      {L"signed.exe", 0},
      {L"unsigned.exe", TRUST_E_NOSIGNATURE},
      {L"tampered.exe", TRUST_E_BAD_DIGEST},
      {L"untrusted-root.exe", CERT_E_CHAINING},  // the chain stops short of any root this machine trusts
      {L"self-signed.exe", CERT_E_UNTRUSTEDROOT},
  };
  for (const auto& c : cases) EXPECT_EQ(AuthenticodeError(Fixture(c.file)), c.error) << c.file;
  EXPECT_NE(AuthenticodeError(Fixture(L"missing.exe")), 0);
}

TEST_F(InstallerTrustTest, TheSignatureAndTheConfiguredDigestMustBothHold) {
  const std::wstring signed_digest = Sha256Of(Fixture(L"signed.exe"));
  const std::wstring unsigned_digest = Sha256Of(Fixture(L"unsigned.exe"));
  ASSERT_EQ(signed_digest.size(), 64u);
  struct Case {
    const wchar_t* file;
    std::wstring sha256;
    bool runs;
  } cases[] = {
      {L"signed.exe", L"", true},
      {L"signed.exe", signed_digest, true},
      {L"signed.exe", L" " + Upper(signed_digest) + L" ", true},
      {L"signed.exe", unsigned_digest, false},  // a digest mismatch
      {L"signed.exe", signed_digest.substr(0, 63), false},
      {L"signed.exe", L"not a digest", false},
      {L"unsigned.exe", L"", false},
      {L"unsigned.exe", unsigned_digest, false},  // a matching digest does not stand in for the signature
      {L"tampered.exe", L"", false},
      {L"tampered.exe", Sha256Of(Fixture(L"tampered.exe")), false},
      {L"untrusted-root.exe", L"", false},
      {L"self-signed.exe", L"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(VerifyInstaller(Fixture(c.file), c.sha256), c.runs) << c.file << " " << c.sha256;
}

TEST(InstallerTrustRules, BothChecksDecide) {
  EXPECT_TRUE(InstallerMayRun({true, std::nullopt}));
  EXPECT_TRUE(InstallerMayRun({true, true}));
  EXPECT_FALSE(InstallerMayRun({true, false}));
  EXPECT_FALSE(InstallerMayRun({false, std::nullopt}));
  EXPECT_FALSE(InstallerMayRun({false, true}));
}

// Only a verified installer is started; the others never run.
TEST_F(InstallerTrustTest, OnlyAVerifiedInstallerIsStarted) {
  InstallFolders folders;
  struct Case {
    const wchar_t* file;
    bool starts;
  } cases[] = {{L"unsigned.exe", false}, {L"tampered.exe", false}, {L"untrusted-root.exe", false},
               {L"signed.exe", true}};
  for (const auto& c : cases) {
    const std::wstring installer = folders.App(c.file);
    ASSERT_TRUE(::CopyFileW(Fixture(c.file).c_str(), installer.c_str(), FALSE)) << c.file;
    EXPECT_EQ(StartVerifiedInstaller(nullptr, installer, L""), c.starts) << c.file;
  }
  // The helper writes "<own path>.ran" when it runs; the refused ones had the time to, too.
  const std::wstring ran = folders.App(L"signed.exe.ran");
  for (int i = 0; i < 400 && !FileExists(ran); ++i) ::Sleep(50);
  EXPECT_TRUE(FileExists(ran));
  for (const wchar_t* refused : {L"unsigned.exe.ran", L"tampered.exe.ran", L"untrusted-root.exe.ran"}) {
    EXPECT_FALSE(FileExists(folders.App(refused))) << refused;
  }
  EXPECT_NE(folders.Log().find(L"not started"), std::wstring::npos) << folders.Log();
}

}  // namespace
}  // namespace tarvolin
