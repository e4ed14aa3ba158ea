#include "download/transfer_rules.h"

#include <algorithm>
#include <cstdint>

#include "common/strings.h"

namespace tarvolin {

BlockPlan ComputeBlockPlan(long size, int thread_count) {
  if (thread_count < 1) thread_count = 1;
  BlockPlan plan;
  // 64-bit intermediate: three times a quarter of 2 GiB does not fit a long.
  long long quarter_share = static_cast<long long>(size) / thread_count;
  long long block = quarter_share * 3 / 4;
  block -= block % kBlockGranularity;
  plan.block_size = static_cast<long>(std::max<long long>(block, kMinimumBlockSize));
  long long count = size > 0 ? (static_cast<long long>(size) + plan.block_size - 1) / plan.block_size : 0;
  plan.block_count = static_cast<int>(std::max<long long>(count, 1));
  return plan;
}

long BlockLength(const BlockPlan& plan, long size, int index) {
  long long offset = static_cast<long long>(index) * plan.block_size;
  long long left = static_cast<long long>(size) - offset;
  return static_cast<long>(std::clamp<long long>(left, 0, plan.block_size));
}

ReadVerdict ClassifyRead(long count, long remaining) {
  if (count == 0) return ReadVerdict::Empty;
  if (count == kTransferPiece || count == remaining) return ReadVerdict::Good;
  return ReadVerdict::Short;
}

long ClampedAdd(long value, long delta, long limit) {
  long long sum = static_cast<long long>(value) + delta;
  return static_cast<long>(std::clamp<long long>(sum, 0, std::max(limit, 0L)));
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
