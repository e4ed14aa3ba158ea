// The platform's digests and signature check against published vectors, so
// that a wrong use of the API (a wrong blob layout, a signature in the wrong
// form, the message hashed twice or not at all) cannot pass.
#include "common/platform_crypto.h"

#include <gtest/gtest.h>

#include <string>

#include "common/files.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

ByteString FromHex(std::string_view hex) {
  ByteString bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

const std::string kFox = "The quick brown fox jumps over the lazy dog";

TEST(PlatformCrypto, DigestsOfKnownTexts) {
  struct Case {
    DigestKind kind;
    std::string text;
    const char* digest;
  } cases[] = {
      {DigestKind::kSha256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {DigestKind::kSha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {DigestKind::kSha256, kFox, "d7a8fbb307d7809469ca9abcb0082e4f8d5651e46d3cdb762d02d0bf37c9e592"},
      {DigestKind::kMd5, "", "d41d8cd98f00b204e9800998ecf8427e"},
      {DigestKind::kMd5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
      {DigestKind::kMd5, kFox, "9e107d9d372bb6826bd81d3542a419d6"},
  };
  for (const auto& c : cases) EXPECT_EQ(DigestOfBytes(c.kind, c.text), FromHex(c.digest)) << c.text;
}

TEST(PlatformCrypto, FileDigestSpansManyReads) {
  // A million "a" is read in several pieces; the published digest proves they
  // are fed in order and each once.
  testing::TempFolder temp;
  const std::wstring path = temp / L"million.txt";
  ASSERT_TRUE(WriteWholeFile(path, std::string(1000000, 'a')));
  EXPECT_EQ(DigestOfFile(DigestKind::kSha256, path),
            FromHex("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"));
  EXPECT_EQ(DigestOfFile(DigestKind::kMd5, path), FromHex("7707d6ae4e027c70eea2a935c2296f21"));
  EXPECT_FALSE(DigestOfFile(DigestKind::kSha256, temp / L"missing.txt"));
}

// NIST's ECDSA P-256/SHA-256 example and the "sample" case of RFC 6979 (A.2.5).
struct Vector {
  const char* key;
  std::string message;
  const char* signature;
};
const Vector kNist{
    "B7E08AFDFE94BAD3F1DC8C734798BA1C62B3A0AD1E9EA2A38201CD0889BC7A19"
    "3603F747959DBF7A4BB226E41928729063ADC7AE43529E61B563BBC606CC5E09",
    "Example of ECDSA with P-256",
    "2B42F576D07F4165FF65D1F3B1500F81E44C316F1F0B3EF57325B69ACA46104F"
    "DC42C2122D6392CD3E3A993A89502A8198C1886FE69D262C4B329BDB6B63FAF1"};
const Vector kRfc6979{
    "60FED4BA255A9D31C961EB74C6356D68C049B8923B61FA6CE669622E60F29FB6"
    "7903FE1008B8BC99A41AE9E95628BC64F2F1B20C2D7E9F5177A3C294D4462299",
    "sample",
    "EFD48B2AACB6A8FD1140DD9CD45E81D69D2C877B56AAF991C34D0EA84EAF3716"
    "F7CB1C942D657C41D436C7A1B6E29F65F3E900DBB9AFF4064DC4AB2F843ACDA8"};

TEST(PlatformCrypto, PublishedSignaturesVerify) {
  for (const Vector& v : {kNist, kRfc6979})
    EXPECT_TRUE(VerifyP256Sha256(FromHex(v.key), v.message, FromHex(v.signature))) << v.message;
}

TEST(PlatformCrypto, AnythingElseIsRefused) {
  const ByteString key = FromHex(kNist.key);
  const ByteString signature = FromHex(kNist.signature);
  auto flipped = [](ByteString bytes, std::size_t at) {
    bytes[at] ^= 0x01;
    return bytes;
  };
  ByteString swapped(signature.begin() + 32, signature.end());
  swapped.insert(swapped.end(), signature.begin(), signature.begin() + 32);
  // The same r and s in DER, as other tools write them: CNG wants r || s.
  ByteString der{0x30, 0x45, 0x02, 0x20};
  der.insert(der.end(), signature.begin(), signature.begin() + 32);
  der.insert(der.end(), {0x02, 0x21, 0x00});
  der.insert(der.end(), signature.begin() + 32, signature.end());
  ByteString off_curve = key;
  off_curve[63] ^= 0x01;
  struct Case {
    const char* what;
    ByteString key;
    std::string message;
    ByteString signature;
  } cases[] = {
      {"message changed", key, kNist.message + " ", signature},
      {"bit flipped in r", key, kNist.message, flipped(signature, 5)},
      {"bit flipped in s", key, kNist.message, flipped(signature, 63)},
      {"r and s swapped", key, kNist.message, swapped},
      {"another key", FromHex(kRfc6979.key), kNist.message, signature},
      {"key off the curve", off_curve, kNist.message, signature},
      {"truncated signature", key, kNist.message, ByteString(signature.begin(), signature.end() - 1)},
      {"signature in DER", key, kNist.message, der},
      {"empty signature", key, kNist.message, {}},
      {"empty key", {}, kNist.message, signature},
      {"zero signature", key, kNist.message, ByteString(kP256SignatureBytes, 0)},
  };
  for (const auto& c : cases) EXPECT_FALSE(VerifyP256Sha256(c.key, c.message, c.signature)) << c.what;
}

}  // namespace
}  // namespace tarvolin
