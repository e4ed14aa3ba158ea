// The trailer that marks an update package appended to the executable:
//   end - 20: the package's offset in the file, 32-bit little-endian
//   end - 16: the package's size in bytes, 32-bit little-endian
//   end - 12: "TarvolinZip1" or "TarvolinZip0", 12 ASCII bytes, no terminator
// Both markers mean a package is there. No Windows headers, so the parser can
// be compiled natively and fuzzed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarvolin {

inline constexpr std::size_t kPackageTrailerSize = 20;
inline constexpr std::string_view kPackageMarker = "TarvolinZip1";
inline constexpr std::string_view kPackageMarkerAlternative = "TarvolinZip0";
// A zip archive is at least its end record long.
inline constexpr std::uint32_t kSmallestPackage = 22;

enum class TrailerState {
  kAbsent,   // no marker: an ordinary executable
  kDamaged,  // the marker is there but the offset and size cannot be right
  kPresent,
};

struct PackageLocation {
  TrailerState state = TrailerState::kAbsent;
  std::uint64_t offset = 0;
  std::uint32_t size = 0;
};

// `tail` holds the last bytes of a file of `file_length` bytes (at least the
// trailer; any earlier bytes are ignored). The package must lie wholly before
// the trailer.
PackageLocation ParsePackageTrailer(std::string_view tail, std::uint64_t file_length);

// The trailer for a package of `size` bytes at `offset`.
std::string MakePackageTrailer(std::uint32_t offset, std::uint32_t size);

}  // namespace tarvolin
