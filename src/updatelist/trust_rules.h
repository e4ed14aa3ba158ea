// The decisions behind verified files and signed lists, apart from the
// platform's cryptography so that tables of cases can test them: which digest
// a record promises, how hex texts and keys read, where a list's signature
// lives. No Windows headers here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/platform_crypto.h"
#include "updatelist/update_record.h"

namespace tarvolin {

// Exactly `length` bytes written as 2 x `length` hex digits (either case,
// surrounding blanks ignored); nothing for any other text.
std::optional<ByteString> ParseHexBytes(std::wstring_view text, std::size_t length);
std::wstring HexText(const ByteString& bytes);

// What a downloaded file must hash to before it may be installed.
struct FileDigestRule {
  DigestKind kind = DigestKind::kSha256;
  // Empty when the list's text is no digest of this kind: then nothing matches.
  ByteString expected;
  std::wstring text;  // as the list wrote it, for the log
};

// The record's "sha256" attribute when it has one (a malformed one still
// applies and then matches nothing: the publisher asked for a check). Else its
// MD5 text when the version came from an md5 attribute and reads as an MD5
// digest; an md5 text that is no digest stays a mere version text, as such
// lists have always used it. Nothing for records without either.
std::optional<FileDigestRule> DigestRuleFor(const updatefileinfo& record);
bool DigestMatches(const FileDigestRule& rule, const std::optional<ByteString>& actual);

// The key that signs this book's lists, from the book's default configuration.
struct ListSigningKey {
  // A key text is configured: every list must then carry a good signature.
  bool required = false;
  // The P-256 point (X then Y); empty when the text is no key, so that a
  // mistyped key refuses every list instead of switching signing off.
  ByteString point{};
};
// 128 hex digits (X then Y), or 130 with the uncompressed-point prefix "04".
// Empty text: signing is not required.
ListSigningKey ParseListSigningKey(std::wstring_view text);

// The detached signature beside a list: ".sig" appended to the address's path,
// before any query, so that a list addressed with parameters keeps them.
inline constexpr wchar_t kSignatureSuffix[] = L".sig";
std::wstring SignatureUrlFor(const std::wstring& list_url);

enum class SignatureVerdict { kNotRequired, kGood, kMissing, kWrong };
// Why a signed file was refused ("its signature ..."), and the same as a
// list's refusal, for the log; empty for the verdicts that let it pass.
std::wstring SignatureFaultText(SignatureVerdict verdict);
std::wstring SignatureRefusalText(SignatureVerdict verdict);


// What a signed list says of its own freshness, on its root element: a serial
// that rises with every release (missing: 0), the last day it is good for
// (YYYY-MM-DD, UTC; missing: no end) and the book it is for (missing: any).
struct ListStamp {
  std::wstring serial;
  std::wstring expires;
  std::wstring book;
};
// The book name that the template list carries.
inline constexpr wchar_t kTemplateListBook[] = L"!Template";

enum class FreshnessVerdict { kFresh, kMalformed, kOlderSerial, kExpired, kOtherBook };
// A decimal serial of at most 18 digits (blanks around ignored); empty text is 0.
std::optional<unsigned long long> ParseListSerial(std::wstring_view text);
// `today` is YYYY-MM-DD (UTC); `highest` the highest serial this book has
// accepted for the list's role.
FreshnessVerdict JudgeListStamp(const ListStamp& stamp, std::wstring_view expected_book, unsigned long long highest,
                                std::wstring_view today);
std::wstring FreshnessRefusalText(FreshnessVerdict verdict);

}  // namespace tarvolin
