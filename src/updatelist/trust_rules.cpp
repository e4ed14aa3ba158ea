#include "updatelist/trust_rules.h"

#include "common/strings.h"

namespace tarvolin {
namespace {

constexpr wchar_t kHexDigits[] = L"0123456789abcdef";
constexpr std::wstring_view kUncompressedPointPrefix = L"04";

int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

FileDigestRule RuleOf(DigestKind kind, const std::wstring& text) {
  return FileDigestRule{kind, ParseHexBytes(text, DigestLength(kind)).value_or(ByteString{}), text};
}

}  // namespace

std::optional<ByteString> ParseHexBytes(std::wstring_view written, std::size_t length) {
  const std::wstring text = Trim(written);
  if (text.size() != 2 * length) return std::nullopt;
  ByteString bytes(length);
  for (std::size_t i = 0; i < length; ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return bytes;
}

std::wstring HexText(const ByteString& bytes) {
  std::wstring text;
  for (std::uint8_t byte : bytes) {
    text += kHexDigits[byte >> 4];
    text += kHexDigits[byte & 0xF];
  }
  return text;
}

std::optional<FileDigestRule> DigestRuleFor(const updatefileinfo& record) {
  if (!Trim(record.sha256).empty()) return RuleOf(DigestKind::kSha256, record.sha256);
  if (ParseHexBytes(record.md5, DigestLength(DigestKind::kMd5))) return RuleOf(DigestKind::kMd5, record.md5);
  return std::nullopt;
}

bool DigestMatches(const FileDigestRule& rule, const std::optional<ByteString>& actual) {
  return !rule.expected.empty() && actual && *actual == rule.expected;
}

ListSigningKey ParseListSigningKey(std::wstring_view written) {
  const std::wstring trimmed = Trim(written);
  std::wstring_view text = trimmed;
  ListSigningKey key{.required = !text.empty()};
  if (text.size() == 2 * kP256PublicKeyBytes + kUncompressedPointPrefix.size() &&
      text.substr(0, kUncompressedPointPrefix.size()) == kUncompressedPointPrefix)
    text.remove_prefix(kUncompressedPointPrefix.size());
  key.point = ParseHexBytes(text, kP256PublicKeyBytes).value_or(ByteString{});
  return key;
}

std::wstring SignatureUrlFor(const std::wstring& list_url) {
  const std::size_t query = list_url.find_first_of(L"?#");
  if (query == std::wstring::npos) return list_url + kSignatureSuffix;
  return list_url.substr(0, query) + kSignatureSuffix + list_url.substr(query);
}

std::wstring SignatureFaultText(SignatureVerdict verdict) {
  switch (verdict) {
    case SignatureVerdict::kMissing:
      return L"its signature could not be fetched";
    case SignatureVerdict::kWrong:
      return L"its signature does not verify against this book's key";
    case SignatureVerdict::kNotRequired:
    case SignatureVerdict::kGood:
      break;
  }
  return std::wstring();
}

std::wstring SignatureRefusalText(SignatureVerdict verdict) {
  const std::wstring fault = SignatureFaultText(verdict);
  return fault.empty() ? fault : L"list refused: " + fault;
}


namespace {

bool IsIsoDate(std::wstring_view text) {
  if (text.size() != 10 || text[4] != L'-' || text[7] != L'-') return false;
  for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u})
    if (text[i] < L'0' || text[i] > L'9') return false;
  const int month = (text[5] - L'0') * 10 + (text[6] - L'0');
  const int day = (text[8] - L'0') * 10 + (text[9] - L'0');
  return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

}  // namespace

std::optional<unsigned long long> ParseListSerial(std::wstring_view written) {
  const std::wstring text = Trim(written);
  constexpr std::size_t kMaxDigits = 18;  // stays below 2^63 whatever the digits
  if (text.size() > kMaxDigits) return std::nullopt;
  unsigned long long serial = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    serial = serial * 10 + static_cast<unsigned>(c - L'0');
  }
  return serial;
}

FreshnessVerdict JudgeListStamp(const ListStamp& stamp, std::wstring_view expected_book, unsigned long long highest,
                                std::wstring_view today) {
  const std::optional<unsigned long long> serial = ParseListSerial(stamp.serial);
  const std::wstring expires = Trim(stamp.expires);
  const std::wstring book = Trim(stamp.book);
  if (!serial || (!expires.empty() && !IsIsoDate(expires))) return FreshnessVerdict::kMalformed;
  if (!book.empty() && book != expected_book) return FreshnessVerdict::kOtherBook;
  // Dates in this one form order as their texts do.
  if (!expires.empty() && std::wstring_view(expires) < today) return FreshnessVerdict::kExpired;
  if (*serial < highest) return FreshnessVerdict::kOlderSerial;
  return FreshnessVerdict::kFresh;
}

std::wstring FreshnessRefusalText(FreshnessVerdict verdict) {
  switch (verdict) {
    case FreshnessVerdict::kMalformed:
      return L"list refused: its serial or expiry date cannot be read";
    case FreshnessVerdict::kOlderSerial:
      return L"list refused: its serial is older than one this book already accepted";
    case FreshnessVerdict::kExpired:
      return L"list refused: it has expired";
    case FreshnessVerdict::kOtherBook:
      return L"list refused: it is another book's list";
    case FreshnessVerdict::kFresh:
      break;
  }
  return std::wstring();
}

}  // namespace tarvolin
