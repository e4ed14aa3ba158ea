#include "archive/package_trailer.h"

namespace tarvolin {
namespace {

constexpr std::size_t kMarkerSize = 12;
static_assert(kPackageMarker.size() == kMarkerSize && kPackageMarkerAlternative.size() == kMarkerSize);

std::uint32_t ReadUint32(std::string_view bytes) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
  return value;
}

void WriteUint32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

}  // namespace

PackageLocation ParsePackageTrailer(std::string_view tail, std::uint64_t file_length) {
  PackageLocation location;
  if (tail.size() < kPackageTrailerSize || file_length < tail.size()) return location;
  const std::string_view trailer = tail.substr(tail.size() - kPackageTrailerSize);
  const std::string_view marker = trailer.substr(8);
  if (marker != kPackageMarker && marker != kPackageMarkerAlternative) return location;

  location.state = TrailerState::kDamaged;
  const std::uint64_t offset = ReadUint32(trailer.substr(0, 4));
  const std::uint32_t size = ReadUint32(trailer.substr(4, 4));
  const std::uint64_t room = file_length - kPackageTrailerSize;
  // 64-bit sums: offset + size cannot wrap.
  if (size < kSmallestPackage || offset + size > room) return location;
  location.state = TrailerState::kPresent;
  location.offset = offset;
  location.size = size;
  return location;
}

std::string MakePackageTrailer(std::uint32_t offset, std::uint32_t size) {
  std::string trailer;
  WriteUint32(trailer, offset);
  WriteUint32(trailer, size);
  trailer += kPackageMarker;
  return trailer;
}

}  // namespace tarvolin
