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

std::wstring SignatureRefusalText(SignatureVerdict verdict) {
  switch (verdict) {
    case SignatureVerdict::kMissing:
      return L"list refused: its signature could not be fetched";
    case SignatureVerdict::kWrong:
      return L"list refused: its signature does not verify against this book's key";
    case SignatureVerdict::kNotRequired:
    case SignatureVerdict::kGood:
      break;
  }
  return std::wstring();
}

}  // namespace tarvolin
