#include "updatelist/trust_rules.h"

#include <gtest/gtest.h>

#include <optional>

namespace tarvolin {
namespace {

constexpr wchar_t kEmptySha256[] = L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
constexpr wchar_t kEmptyMd5[] = L"d41d8cd98f00b204e9800998ecf8427e";

TEST(TrustRules, HexTextsReadOnlyAtTheirExactLength) {
  struct Case {
    const wchar_t* text;
    std::size_t length;
    std::optional<ByteString> bytes;
  } cases[] = {
      {L"00ff7A", 3, ByteString{0x00, 0xFF, 0x7A}},
      {L"  0aB1\r\n", 2, ByteString{0x0A, 0xB1}},
      {L"0aB", 2, std::nullopt},
      {L"0aB1c", 2, std::nullopt},
      {L"0aB1c2", 2, std::nullopt},
      {L"0g", 1, std::nullopt},
      {L"0 a1", 2, std::nullopt},
      {L"", 1, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseHexBytes(c.text, c.length), c.bytes) << c.text;
  EXPECT_EQ(HexText({0x00, 0xAB, 0x7F}), L"00ab7f");
}

TEST(TrustRules, WhichDigestARecordPromises) {
  struct Case {
    const char* what;
    updatefileinfo record;
    std::optional<DigestKind> kind;
    bool parsed;
  } cases[] = {
      {"neither", {.version = L"1.0"}, std::nullopt, false},
      {"sha256", {.version = L"1.0", .sha256 = kEmptySha256}, DigestKind::kSha256, true},
      {"sha256 in capitals", {.sha256 = L"E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
       DigestKind::kSha256, true},
      {"sha256 beats md5", {.version = kEmptyMd5, .sha256 = kEmptySha256, .md5 = kEmptyMd5}, DigestKind::kSha256, true},
      {"malformed sha256 still applies", {.sha256 = L"e3b0c442"}, DigestKind::kSha256, false},
      {"md5 version", {.version = kEmptyMd5, .md5 = kEmptyMd5}, DigestKind::kMd5, true},
      {"md5 text that is no digest stays a version", {.version = L"build 7", .md5 = L"build 7"}, std::nullopt, false},
      {"a version that looks like an md5 is none", {.version = kEmptyMd5}, std::nullopt, false},
  };
  for (const auto& c : cases) {
    std::optional<FileDigestRule> rule = DigestRuleFor(c.record);
    ASSERT_EQ(rule.has_value(), c.kind.has_value()) << c.what;
    if (!rule) continue;
    EXPECT_EQ(rule->kind, *c.kind) << c.what;
    EXPECT_EQ(!rule->expected.empty(), c.parsed) << c.what;
  }
}

TEST(TrustRules, OnlyTheExactDigestMatches) {
  const FileDigestRule rule = *DigestRuleFor({.md5 = kEmptyMd5});
  const ByteString right = *ParseHexBytes(kEmptyMd5, 16);
  ByteString wrong = right;
  wrong[15] ^= 1;
  EXPECT_TRUE(DigestMatches(rule, right));
  EXPECT_FALSE(DigestMatches(rule, wrong));
  EXPECT_FALSE(DigestMatches(rule, std::nullopt));  // the file could not be read
  // A malformed promise matches nothing, not even an empty digest.
  EXPECT_FALSE(DigestMatches(*DigestRuleFor({.sha256 = L"zz"}), ByteString{}));
}

TEST(TrustRules, SigningKeyText) {
  const std::wstring point(128, L'a');
  struct Case {
    const char* what;
    std::wstring text;
    bool required;
    std::size_t point_bytes;
  } cases[] = {
      {"none", L"", false, 0},
      {"blank", L"  \t", false, 0},
      {"X then Y", point, true, 64},
      {"uncompressed point prefix", L"04" + point, true, 64},
      {"surrounding blanks", L" " + point + L" ", true, 64},
      {"one digit short: still required, never verifies", point.substr(1), true, 0},
      {"other prefix", L"02" + point, true, 0},
      {"not hex", std::wstring(128, L'x'), true, 0},
  };
  for (const auto& c : cases) {
    ListSigningKey key = ParseListSigningKey(c.text);
    EXPECT_EQ(key.required, c.required) << c.what;
    EXPECT_EQ(key.point.size(), c.point_bytes) << c.what;
  }
}

TEST(TrustRules, SignatureSitsBesideTheListBeforeItsQuery) {
  struct Case {
    const wchar_t* list;
    const wchar_t* signature;
  } cases[] = {
      {L"http://h/rel/tarvolin.xml", L"http://h/rel/tarvolin.xml.sig"},
      {L"http://h/list.aspx?book=7&v=2", L"http://h/list.aspx.sig?book=7&v=2"},
      {L"http://h/a.xml#top", L"http://h/a.xml.sig#top"},
  };
  for (const auto& c : cases) EXPECT_EQ(SignatureUrlFor(c.list), c.signature) << c.list;
}

TEST(TrustRules, ListSerials) {
  struct Case {
    const wchar_t* text;
    std::optional<unsigned long long> serial;
  } cases[] = {
      {L"", 0ull},         {L" 7 ", 7ull},        {L"0012", 12ull},
      {L"999999999999999999", 999999999999999999ull},
      {L"1000000000000000000", std::nullopt},  // 19 digits
      {L"-1", std::nullopt}, {L"+1", std::nullopt}, {L"1.5", std::nullopt}, {L"0x10", std::nullopt},
      {L"1 2", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseListSerial(c.text), c.serial) << c.text;
}

TEST(TrustRules, AListIsFreshOnlyForItsBookUntilItsDayAndNotOlderThanTheLastOne) {
  constexpr wchar_t kToday[] = L"2026-12-11";
  struct Case {
    ListStamp stamp;
    const wchar_t* book;
    unsigned long long highest;
    FreshnessVerdict verdict;
  } cases[] = {
      {{}, L"90002", 0, FreshnessVerdict::kFresh},
      {{}, L"90002", 1, FreshnessVerdict::kOlderSerial},  // a missing serial is 0
      {{L"5", L"", L""}, L"90002", 5, FreshnessVerdict::kFresh},  // the same list again
      {{L"4", L"", L""}, L"90002", 5, FreshnessVerdict::kOlderSerial},
      {{L"6", L"", L""}, L"90002", 5, FreshnessVerdict::kFresh},
      {{L"6", L"2026-12-11", L""}, L"90002", 0, FreshnessVerdict::kFresh},  // good through its day
      {{L"6", L"2026-12-10", L""}, L"90002", 0, FreshnessVerdict::kExpired},
      {{L"6", L"2027-01-01", L""}, L"90002", 0, FreshnessVerdict::kFresh},
      {{L"6", L"2026-1-1", L""}, L"90002", 0, FreshnessVerdict::kMalformed},
      {{L"6", L"2026-13-01", L""}, L"90002", 0, FreshnessVerdict::kMalformed},
      {{L"6", L"tomorrow", L""}, L"90002", 0, FreshnessVerdict::kMalformed},
      {{L"six", L"", L""}, L"90002", 0, FreshnessVerdict::kMalformed},
      {{L"6", L"", L"90002"}, L"90002", 0, FreshnessVerdict::kFresh},
      {{L"6", L"", L"90001"}, L"90002", 0, FreshnessVerdict::kOtherBook},
      {{L"6", L"", L"!Template"}, L"90002", 0, FreshnessVerdict::kOtherBook},
      {{L"6", L"", L"!Template"}, kTemplateListBook, 0, FreshnessVerdict::kFresh},
      {{L"6", L"", L"90002"}, kTemplateListBook, 0, FreshnessVerdict::kOtherBook},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JudgeListStamp(c.stamp, c.book, c.highest, kToday), c.verdict)
        << "serial " << c.stamp.serial.size() << " expires " << c.stamp.expires.size() << " book " << c.book;
    EXPECT_EQ(FreshnessRefusalText(c.verdict).empty(), c.verdict == FreshnessVerdict::kFresh);
  }
}

}  // namespace
}  // namespace tarvolin
