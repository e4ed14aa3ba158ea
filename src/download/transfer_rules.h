// The decisions of a transfer that need neither a window nor the network:
// block arithmetic, reply headers, message scaling, URL escaping and the
// proxy values.
// No Windows headers here, so tests (and native builds) call them directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvolin {

// Every read and every part-file copy moves at most this many bytes at once.
// Small pieces made a loopback transfer crawl under the platform's HTTP layer,
// and nothing outside the transfer sees the piece size.
inline constexpr std::int64_t kTransferPiece = 64 * 1024;

// A block is fetched as a run of closed requests of at most this many bytes
// on its kept-alive connection, so that a free connection can take over the
// untouched tail of a block between two requests without cutting one short.
inline constexpr std::int64_t kRequestSpan = 1024 * 1024;
// A tail shorter than this is not worth a second connection.
inline constexpr std::int64_t kSmallestTakeover = 256 * 1024;

// Blocks are never smaller than this, so small files do not fan out into
// dozens of connections.
inline constexpr std::int64_t kMinimumBlockSize = 51200;
// Blocks are whole kibibytes.
inline constexpr std::int64_t kBlockGranularity = 1024;

struct BlockPlan {
  std::int64_t block_size = 0;
  int block_count = 0;
};

// Blocks of about three quarters of size / threads, so a large file has more
// blocks than threads and the threads that finish first take the rest.
// A thread count below 1 counts as 1.
BlockPlan ComputeBlockPlan(std::int64_t size, int thread_count);
// Bytes of block `index`: the block size, or what is left for the last one.
std::int64_t BlockLength(const BlockPlan& plan, std::int64_t size, int index);
std::int64_t BlockStart(const BlockPlan& plan, int index);

// Adds `delta` to `value` and keeps the result within [0, limit].
std::int64_t ClampedAdd(std::int64_t value, std::int64_t delta, std::int64_t limit);

// Replies that no retry can change: 4xx, except time-out (408) and "too many
// requests" (429), which say "later", not "never".
bool IsFinalRefusal(unsigned long status);
// A server that does not answer HEAD at all: ask for one byte instead.
bool IsHeadRefused(unsigned long status);

// "Range: bytes=first-last" for the inclusive byte span, ready to send.
std::wstring ClosedRangeHeader(std::int64_t first, std::int64_t last);

// The Content-Range of a partial reply, "bytes first-last/total"; total is -1
// when the server wrote "*". Nothing when the text is not of that form.
struct ContentRange {
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::int64_t total = -1;
};
std::optional<ContentRange> ParseContentRange(std::wstring_view text);

// Window messages carry 32-bit values on the x86 build. A download that does
// not fit has all its byte values shifted right by the same amount, so every
// ratio a window draws stays right and nothing wraps.
int MessageShift(std::int64_t size);
long ScaledForMessage(std::int64_t value, int shift);

// Escapes a URL that the server did not find as it was written: "%" first,
// then the characters that are never literal in a URL, then everything that
// is not plain ASCII, as percent-escaped UTF-8.
std::wstring PercentEncodeUrl(std::wstring_view text);

// The [Tarvolin] Proxy value "host:port"; nothing when it has no ":".
struct ProxyAddress {
  std::wstring host;
  std::wstring port;
};
std::optional<ProxyAddress> ParseProxySetting(std::wstring_view value);
// The proxy string handed to the Internet layer: "HTTP=HTTP://host:port".
std::wstring ProxyString(const ProxyAddress& address);

// The [Tarvolin] ProxyUser value "user,password" (the password may be absent).
struct ProxyCredentials {
  std::wstring user;
  std::optional<std::wstring> password;
};
ProxyCredentials ParseProxyUser(std::wstring_view value);

}  // namespace tarvolin
