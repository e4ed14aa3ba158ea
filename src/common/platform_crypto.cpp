#include "common/platform_crypto.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>

#include "common/unique_handle.h"

namespace tarvolin {
namespace {

// NTSTATUS success without pulling in the kernel headers.
bool Succeeded(NTSTATUS status) { return status >= 0; }

void CloseProvider(BCRYPT_ALG_HANDLE h) { ::BCryptCloseAlgorithmProvider(h, 0); }
void DestroyHash(BCRYPT_HASH_HANDLE h) { ::BCryptDestroyHash(h); }
void DestroyKey(BCRYPT_KEY_HANDLE h) { ::BCryptDestroyKey(h); }
using unique_provider = unique_any<detail::NullTraits<BCRYPT_ALG_HANDLE, CloseProvider>>;
using unique_hash = unique_any<detail::NullTraits<BCRYPT_HASH_HANDLE, DestroyHash>>;
using unique_key = unique_any<detail::NullTraits<BCRYPT_KEY_HANDLE, DestroyKey>>;

// Large enough that a 64 MiB file costs few calls, small enough for any stack.
constexpr DWORD kFilePieceBytes = 256 * 1024;

const wchar_t* AlgorithmOf(DigestKind kind) {
  return kind == DigestKind::kSha256 ? BCRYPT_SHA256_ALGORITHM : BCRYPT_MD5_ALGORITHM;
}

unique_provider OpenProvider(const wchar_t* algorithm) {
  unique_provider provider;
  if (!Succeeded(::BCryptOpenAlgorithmProvider(provider.put(), algorithm, nullptr, 0))) provider.reset();
  return provider;
}

// A running digest: feed it pieces, then take the result once.
class Digest {
 public:
  explicit Digest(DigestKind kind) : kind_(kind), provider_(OpenProvider(AlgorithmOf(kind))) {
    if (provider_ && !Succeeded(::BCryptCreateHash(provider_.get(), hash_.put(), nullptr, 0, nullptr, 0, 0)))
      hash_.reset();
  }
  bool Add(const void* data, std::size_t size) {
    if (!hash_) return false;
    auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    return Succeeded(::BCryptHashData(hash_.get(), bytes, static_cast<ULONG>(size), 0));
  }
  std::optional<ByteString> Finish() {
    if (!hash_) return std::nullopt;
    ByteString out(DigestLength(kind_));
    if (!Succeeded(::BCryptFinishHash(hash_.get(), out.data(), static_cast<ULONG>(out.size()), 0)))
      return std::nullopt;
    return out;
  }

 private:
  DigestKind kind_;
  unique_provider provider_;
  unique_hash hash_;
};

unique_key ImportP256PublicKey(BCRYPT_ALG_HANDLE provider, std::span<const std::uint8_t> point) {
  ByteString blob(sizeof(BCRYPT_ECCKEY_BLOB) + point.size());
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, static_cast<ULONG>(point.size() / 2)};
  std::memcpy(blob.data(), &header, sizeof(header));
  std::memcpy(blob.data() + sizeof(header), point.data(), point.size());
  unique_key key;
  if (!Succeeded(::BCryptImportKeyPair(provider, nullptr, BCRYPT_ECCPUBLIC_BLOB, key.put(), blob.data(),
                                       static_cast<ULONG>(blob.size()), 0)))
    key.reset();
  return key;
}

}  // namespace

std::size_t DigestLength(DigestKind kind) { return kind == DigestKind::kSha256 ? 32 : 16; }

std::optional<ByteString> DigestOfBytes(DigestKind kind, std::string_view bytes) {
  Digest digest(kind);
  if (!digest.Add(bytes.data(), bytes.size())) return std::nullopt;
  return digest.Finish();
}

std::optional<ByteString> DigestOfFile(DigestKind kind, const std::wstring& path) {
  unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return std::nullopt;
  Digest digest(kind);
  ByteString piece(kFilePieceBytes);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file.get(), piece.data(), kFilePieceBytes, &read, nullptr)) return std::nullopt;
    if (read == 0) break;
    if (!digest.Add(piece.data(), read)) return std::nullopt;
  }
  return digest.Finish();
}

bool VerifyP256Sha256(std::span<const std::uint8_t> public_key, std::string_view message,
                      std::span<const std::uint8_t> signature) {
  if (public_key.size() != kP256PublicKeyBytes || signature.size() != kP256SignatureBytes) return false;
  std::optional<ByteString> digest = DigestOfBytes(DigestKind::kSha256, message);
  unique_provider provider = OpenProvider(BCRYPT_ECDSA_P256_ALGORITHM);
  if (!digest || !provider) return false;
  unique_key key = ImportP256PublicKey(provider.get(), public_key);
  if (!key) return false;
  ByteString signature_copy(signature.begin(), signature.end());
  return Succeeded(::BCryptVerifySignature(key.get(), nullptr, digest->data(), static_cast<ULONG>(digest->size()),
                                           signature_copy.data(), static_cast<ULONG>(signature_copy.size()), 0));
}

}  // namespace tarvolin
