#include "archive/zip_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvolin {
namespace {

using namespace entry_attributes;

TEST(SafeEntryNames, NamesNeverLeadOutOfTheirFolder) {
  struct Case {
    const wchar_t* stored;
    const wchar_t* safe;
  } cases[] = {
      {L"..\\..\\file.txt", L"file.txt"},
      {L"C:\\file.txt", L"file.txt"},
      {L"C:file.txt", L"file.txt"},
      {L"D:\\C:\\x.txt", L"x.txt"},
      {L"x:\\..\\y.txt", L"y.txt"},
      {L"\\\\server\\share\\f.txt", L"server\\share\\f.txt"},
      {L"/abs/x.txt", L"abs/x.txt"},
      {L"a/../../b/c.txt", L"b/c.txt"},
      {L"a\\..\\b.txt", L"b.txt"},
      {L"keep/this/..\\then/that.txt", L"then/that.txt"},
      {L"../up.txt", L"up.txt"},
      {L"..\\/mixed.txt", L"mixed.txt"},
      {L"dir/..", L""},
      {L"..", L""},
      {L"dir/sub/file.txt", L"dir/sub/file.txt"},
      {L"..name.txt", L"..name.txt"},
      {L"dir/", L"dir/"},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(MakeSafeEntryName(c.stored), c.safe) << c.stored;
}

TEST(EntryAttributes, FollowTheHostThatMadeTheEntry) {
  constexpr std::uint32_t kFat = 0x0014, kNtfs = 0x0A14, kUnix = 0x0314, kMac = 0x1314;
  struct Case {
    std::uint32_t made_by;
    std::uint32_t external;
    const wchar_t* name;
    std::uint32_t expected;
  } cases[] = {
      {kFat, kReadOnly | kArchive, L"a.txt", kReadOnly | kArchive},
      {kNtfs, kHidden | kSystem | 0x80, L"a.txt", kHidden | kSystem},  // only the bits we report
      {kFat, kArchive, L"dir/", kArchive | kDirectory},
      {kFat, kArchive, L"dir\\", kArchive | kDirectory},
      {kUnix, 0100644u << 16, L"a.txt", kArchive},
      {kUnix, 0100444u << 16, L"a.txt", kArchive | kReadOnly},
      {kUnix, (0100644u << 16) | kReadOnly | kHidden, L"a.txt", kArchive},  // DOS bits of Unix entries ignored
      {kUnix, 0040755u << 16, L"dir", kArchive | kDirectory},
      {kMac, 0100600u << 16, L"a.txt", kArchive},
  };
  for (const auto& c : cases)
    EXPECT_EQ(EntryAttributes(c.made_by, c.external, c.name), c.expected)
        << std::hex << c.made_by << " " << c.external << " " << c.name;
}

std::string Field(std::uint16_t tag, const std::string& data) {
  std::string out;
  out += static_cast<char>(tag & 0xff);
  out += static_cast<char>(tag >> 8);
  out += static_cast<char>(data.size() & 0xff);
  out += static_cast<char>(data.size() >> 8);
  return out + data;
}

std::string Le32(std::int32_t value) {
  std::string out;
  for (int i = 0; i < 4; ++i) out += static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xff);
  return out;
}

TEST(ExtendedTimestamps, ReadsTheTimesTheFieldCarries) {
  constexpr std::uint16_t kUt = 0x5455, kUnixExtra = 0x7875;
  const std::int32_t write = 1000000000, access = 1100000000, creation = 900000000;

  // Central directory form: every flag, but only the write time follows.
  auto central = FindExtendedTimestamps(Field(kUt, "\x07" + Le32(write)));
  ASSERT_TRUE(central);
  EXPECT_EQ(central->last_write, write);
  EXPECT_FALSE(central->last_access);
  EXPECT_FALSE(central->creation);

  // Local form behind another field, with all three.
  auto local = FindExtendedTimestamps(Field(kUnixExtra, std::string("\x01\x04\x00\x00\x00\x00", 6)) +
                                      Field(kUt, "\x07" + Le32(write) + Le32(access) + Le32(creation)));
  ASSERT_TRUE(local);
  EXPECT_EQ(local->last_write, write);
  EXPECT_EQ(local->last_access, access);
  EXPECT_EQ(local->creation, creation);

  // Only the access flag: the first time is the access time.
  auto only_access = FindExtendedTimestamps(Field(kUt, "\x02" + Le32(access)));
  ASSERT_TRUE(only_access);
  EXPECT_FALSE(only_access->last_write);
  EXPECT_EQ(only_access->last_access, access);

  auto before_1970 = FindExtendedTimestamps(Field(kUt, "\x01" + Le32(-86400)));
  ASSERT_TRUE(before_1970);
  EXPECT_EQ(before_1970->last_write, -86400);
}

TEST(ExtendedTimestamps, MissingOrMalformedFieldsGiveNothing) {
  const std::string cases[] = {
      "",
      Field(0x7875, std::string("\x01\x04\x00\x00\x00\x00", 6)),  // another field only
      Field(0x5455, ""),                                 // no flags byte
      Field(0x5455, "\x01" + Le32(5)).substr(0, 7),      // cut inside the field
      std::string("\x55\x54\x09", 3),                    // cut inside the field header
  };
  for (const auto& extra : cases) EXPECT_FALSE(FindExtendedTimestamps(extra)) << extra.size();
}

TEST(ExtendedTimestamps, UnixSecondsBecomeFileTimes) {
  constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;
  EXPECT_EQ(UnixSecondsToFileTime(0), kUnixEpochAsFileTime);
  EXPECT_EQ(UnixSecondsToFileTime(1), kUnixEpochAsFileTime + 10000000ull);
  EXPECT_EQ(UnixSecondsToFileTime(-1), kUnixEpochAsFileTime - 10000000ull);
}

TEST(Encryption, CheckByteComesFromTimeOrCrc) {
  const std::uint32_t crc = 0xAB123456u, dos_date_time = 0x56789ACDu;
  EXPECT_EQ(EncryptionCheckByte(0x1, crc, dos_date_time), 0xAB);
  EXPECT_EQ(EncryptionCheckByte(0x1 | 0x8, crc, dos_date_time), 0x9A);
}

TEST(Encryption, HeaderOfWrongLengthNeverMatches) {
  for (std::size_t size : {0u, 11u, 13u})
    EXPECT_FALSE(PasswordMatchesHeader("pw", std::string(size, '\0'), 0)) << size;
}

TEST(OutputPaths, AbsoluteWhenRootedOrWithDrive) {
  struct Case {
    const wchar_t* path;
    bool absolute;
  } cases[] = {
      {L"C:\\a.txt", true}, {L"\\a.txt", true}, {L"/a.txt", true},      {L"\\\\server\\s", true},
      {L"C:a.txt", true},   {L"a.txt", false},  {L"sub\\a.txt", false}, {L"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsAbsoluteOutputPath(c.path), c.absolute) << c.path;
}

}  // namespace
}  // namespace tarvolin
