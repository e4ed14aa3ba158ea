#include "download/transfer_rules.h"

#include <algorithm>
#include <cstdint>

#include "common/strings.h"

namespace tarvolin {

BlockPlan ComputeBlockPlan(std::int64_t size, int thread_count) {
  if (thread_count < 1) thread_count = 1;
  BlockPlan plan;
  std::int64_t block = size / thread_count * 3 / 4;
  block -= block % kBlockGranularity;
  plan.block_size = std::max(block, kMinimumBlockSize);
  std::int64_t count = size > 0 ? (size + plan.block_size - 1) / plan.block_size : 0;
  plan.block_count = static_cast<int>(std::max<std::int64_t>(count, 1));
  return plan;
}

std::int64_t BlockStart(const BlockPlan& plan, int index) { return static_cast<std::int64_t>(index) * plan.block_size; }

std::int64_t BlockLength(const BlockPlan& plan, std::int64_t size, int index) {
  return std::clamp<std::int64_t>(size - BlockStart(plan, index), 0, plan.block_size);
}

std::int64_t ClampedAdd(std::int64_t value, std::int64_t delta, std::int64_t limit) {
  return std::clamp<std::int64_t>(value + delta, 0, std::max<std::int64_t>(limit, 0));
}

bool IsFinalRefusal(unsigned long status) { return status >= 400 && status < 500 && status != 408 && status != 429; }

bool IsHeadRefused(unsigned long status) { return status == 405 || status == 501; }

std::wstring ClosedRangeHeader(std::int64_t first, std::int64_t last) {
  return FormatWide(L"Range: bytes=%lld-%lld", static_cast<long long>(first), static_cast<long long>(last));
}

namespace {

// Digits only, no sign, no overflow; nothing otherwise.
std::optional<std::int64_t> ParseOffset(std::wstring_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return std::nullopt;
    value = value * 10 + (c - L'0');
  }
  return value;
}

}  // namespace

std::optional<ContentRange> ParseContentRange(std::wstring_view text) {
  std::wstring value = Trim(std::wstring(text));
  std::wstring_view rest = value;
  constexpr std::wstring_view kUnit = L"bytes ";
  if (rest.size() < kUnit.size() || ToLower(std::wstring(rest.substr(0, kUnit.size()))) != kUnit) return std::nullopt;
  rest.remove_prefix(kUnit.size());
  std::size_t dash = rest.find(L'-');
  std::size_t slash = rest.find(L'/');
  if (dash == std::wstring_view::npos || slash == std::wstring_view::npos || slash < dash) return std::nullopt;
  auto first = ParseOffset(rest.substr(0, dash));
  auto last = ParseOffset(rest.substr(dash + 1, slash - dash - 1));
  std::wstring_view total_text = rest.substr(slash + 1);
  auto total = total_text == L"*" ? std::optional<std::int64_t>(-1) : ParseOffset(total_text);
  if (!first || !last || !total || *last < *first || (*total >= 0 && *last >= *total)) return std::nullopt;
  return ContentRange{*first, *last, *total};
}

int MessageShift(std::int64_t size) {
  int shift = 0;
  while ((size >> shift) > 0x7FFFFFFF) ++shift;
  return shift;
}

long ScaledForMessage(std::int64_t value, int shift) {
  return static_cast<long>(std::clamp<std::int64_t>(value >> shift, -0x7FFFFFFF, 0x7FFFFFFF));
}

namespace {

constexpr std::wstring_view kNeverLiteral = L" \"<>#{}|\\^~[]`+";
constexpr std::wstring_view kKeptPunctuation = L"%$&+,./:;=?@-_!*()'";

void AppendEscapedByte(std::wstring& out, unsigned byte) {
  constexpr wchar_t kHex[] = L"0123456789ABCDEF";
  out += L'%';
  out += kHex[(byte >> 4) & 0xF];
  out += kHex[byte & 0xF];
}

bool IsAsciiAlphanumeric(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// Reads one code point at `i` (advancing past a surrogate pair); a lone
// surrogate becomes U+FFFD.
std::uint32_t NextCodePoint(std::wstring_view text, std::size_t& i) {
  std::uint32_t c = static_cast<std::uint16_t>(text[i++]);
  if (c >= 0xD800 && c <= 0xDBFF && i < text.size()) {
    std::uint32_t low = static_cast<std::uint16_t>(text[i]);
    if (low >= 0xDC00 && low <= 0xDFFF) {
      ++i;
      return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
    }
  }
  if (c >= 0xD800 && c <= 0xDFFF) return 0xFFFD;
  return c;
}

void AppendEscapedUtf8(std::wstring& out, std::uint32_t c) {
  if (c < 0x80) {
    AppendEscapedByte(out, c);
  } else if (c < 0x800) {
    AppendEscapedByte(out, 0xC0 | (c >> 6));
    AppendEscapedByte(out, 0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    AppendEscapedByte(out, 0xE0 | (c >> 12));
    AppendEscapedByte(out, 0x80 | ((c >> 6) & 0x3F));
    AppendEscapedByte(out, 0x80 | (c & 0x3F));
  } else {
    AppendEscapedByte(out, 0xF0 | (c >> 18));
    AppendEscapedByte(out, 0x80 | ((c >> 12) & 0x3F));
    AppendEscapedByte(out, 0x80 | ((c >> 6) & 0x3F));
    AppendEscapedByte(out, 0x80 | (c & 0x3F));
  }
}

}  // namespace

std::wstring PercentEncodeUrl(std::wstring_view text) {
  std::wstring percent_done = ReplaceAll(std::wstring(text), L"%", L"%25");

  std::wstring reserved_done;
  for (wchar_t c : percent_done) {
    if (kNeverLiteral.find(c) != std::wstring_view::npos) {
      AppendEscapedByte(reserved_done, static_cast<unsigned>(c));
    } else {
      reserved_done += c;
    }
  }

  std::wstring out;
  std::wstring_view rest = reserved_done;
  for (std::size_t i = 0; i < rest.size();) {
    wchar_t c = rest[i];
    if (IsAsciiAlphanumeric(c) || kKeptPunctuation.find(c) != std::wstring_view::npos) {
      out += c;
      ++i;
    } else {
      AppendEscapedUtf8(out, NextCodePoint(rest, i));
    }
  }
  return out;
}

std::optional<ProxyAddress> ParseProxySetting(std::wstring_view value) {
  std::vector<std::wstring> parts = Split(value, L':');
  if (parts.size() < 2) return std::nullopt;
  return ProxyAddress{parts[0], parts[1]};
}

std::wstring ProxyString(const ProxyAddress& address) {
  return FormatWide(L"HTTP=HTTP://%ls:%ls", address.host.c_str(), address.port.c_str());
}

ProxyCredentials ParseProxyUser(std::wstring_view value) {
  std::vector<std::wstring> parts = Split(value, L',');
  ProxyCredentials credentials;
  if (!parts.empty()) credentials.user = parts[0];
  if (parts.size() >= 2) credentials.password = parts[1];
  return credentials;
}

}  // namespace tarvolin
