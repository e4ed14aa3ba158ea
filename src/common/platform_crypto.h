// Digests and signature checks by the platform's cryptography (CNG), so that no
// hashing or curve arithmetic of our own decides what is trusted.
//
// Threads: every call opens its own provider; any thread may call.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvolin {

using ByteString = std::vector<std::uint8_t>;

enum class DigestKind { kSha256, kMd5 };

// Length in bytes of a digest of this kind.
std::size_t DigestLength(DigestKind kind);

// Nothing when the platform refused (no provider, a failing call).
std::optional<ByteString> DigestOfBytes(DigestKind kind, std::string_view bytes);
// Reads the file in pieces; nothing when it cannot be opened or read.
std::optional<ByteString> DigestOfFile(DigestKind kind, const std::wstring& path);

// A P-256 public key is its point, X then Y, 32 bytes each.
inline constexpr std::size_t kP256PublicKeyBytes = 64;
// An ECDSA P-256 signature as CNG takes it: r then s, 32 bytes each (not DER).
inline constexpr std::size_t kP256SignatureBytes = 64;

// True only when `signature` is a valid ECDSA P-256 signature by `public_key`
// over the SHA-256 digest of `message`. Keys and signatures of the wrong length,
// a point off the curve and any platform failure all answer false.
bool VerifyP256Sha256(std::span<const std::uint8_t> public_key, std::string_view message,
                      std::span<const std::uint8_t> signature);

}  // namespace tarvolin
