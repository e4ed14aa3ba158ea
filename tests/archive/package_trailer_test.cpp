#include "archive/package_trailer.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvolin {
namespace {

std::string Trailer(std::uint32_t offset, std::uint32_t size, std::string_view marker) {
  std::string trailer = MakePackageTrailer(offset, size);
  return trailer.substr(0, 8) + std::string(marker);
}

TEST(PackageTrailer, WrittenTrailerReadsBack) {
  const std::string trailer = MakePackageTrailer(0x01020304, 0x00A0B0C0);
  ASSERT_EQ(trailer.size(), kPackageTrailerSize);
  EXPECT_EQ(trailer.substr(0, 8), std::string("\x04\x03\x02\x01\xC0\xB0\xA0\x00", 8));
  EXPECT_EQ(trailer.substr(8), "TarvolinZip1");
  PackageLocation location = ParsePackageTrailer(trailer, 0x01020304ull + 0x00A0B0C0 + kPackageTrailerSize);
  EXPECT_EQ(location.state, TrailerState::kPresent);
  EXPECT_EQ(location.offset, 0x01020304u);
  EXPECT_EQ(location.size, 0x00A0B0C0u);
}

TEST(PackageTrailer, Table) {
  struct Case {
    const char* name;
    std::string tail;
    std::uint64_t file_length;
    TrailerState state;
  };
  const Case cases[] = {
      {"package right before the trailer", Trailer(1000, 500, "TarvolinZip1"), 1520, TrailerState::kPresent},
      {"the other marker", Trailer(1000, 500, "TarvolinZip0"), 1520, TrailerState::kPresent},
      {"bytes before the tail are ignored", "garbage" + Trailer(1000, 500, "TarvolinZip1"), 1520,
       TrailerState::kPresent},
      {"room left between package and trailer", Trailer(10, 500, "TarvolinZip1"), 4000, TrailerState::kPresent},
      {"smallest zip", Trailer(0, 22, "TarvolinZip1"), 42, TrailerState::kPresent},
      {"ordinary program", std::string(20, 'M'), 5000, TrailerState::kAbsent},
      {"marker in other case", Trailer(1000, 500, "tarvolinzip1"), 1520, TrailerState::kAbsent},
      {"other marker digit", Trailer(1000, 500, "TarvolinZip2"), 1520, TrailerState::kAbsent},
      {"marker cut short", Trailer(1000, 500, "TarvolinZip1").substr(1), 1519, TrailerState::kAbsent},
      {"tail shorter than a trailer", "TarvolinZip1", 12, TrailerState::kAbsent},
      {"file shorter than its tail", Trailer(0, 22, "TarvolinZip1"), 10, TrailerState::kAbsent},
      {"package overlaps the trailer", Trailer(1000, 501, "TarvolinZip1"), 1520, TrailerState::kDamaged},
      {"offset past the end", Trailer(5000, 100, "TarvolinZip1"), 1520, TrailerState::kDamaged},
      {"offset and size wrap in 32 bits", Trailer(0xFFFFFF00u, 0x200, "TarvolinZip1"), 1520, TrailerState::kDamaged},
      {"empty package", Trailer(100, 0, "TarvolinZip1"), 1520, TrailerState::kDamaged},
      {"package smaller than a zip", Trailer(100, 21, "TarvolinZip1"), 1520, TrailerState::kDamaged},
      {"file holds only the trailer", Trailer(0, 22, "TarvolinZip1"), 20, TrailerState::kDamaged},
  };
  for (const Case& c : cases) {
    PackageLocation location = ParsePackageTrailer(c.tail, c.file_length);
    EXPECT_EQ(location.state, c.state) << c.name;
    if (location.state != TrailerState::kPresent) {
      EXPECT_EQ(location.size, 0u) << c.name;
    }
  }
}

}  // namespace
}  // namespace tarvolin
