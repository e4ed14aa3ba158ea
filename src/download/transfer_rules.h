// The decisions of a transfer that need neither a window nor the network:
// block arithmetic, the read verdict, URL escaping and the proxy values.
// No Windows headers here, so tests (and native builds) call them directly.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarvolin {

// Every read, every discarded skip and every part-file copy moves at most this
// many bytes at once. Small pieces made a loopback transfer crawl under the
// platform's HTTP layer, and nothing outside the transfer sees the piece size.
inline constexpr long kTransferPiece = 64 * 1024;

// Blocks are never smaller than this, so small files do not fan out into
// dozens of connections.
inline constexpr long kMinimumBlockSize = 51200;
// Blocks are whole kibibytes.
inline constexpr long kBlockGranularity = 1024;

struct BlockPlan {
  long block_size = 0;
  int block_count = 0;
};

// Blocks of about three quarters of size / threads, so a large file has more
// blocks than threads and the threads that finish first take the rest.
// A thread count below 1 counts as 1.
BlockPlan ComputeBlockPlan(long size, int thread_count);
// Bytes of block `index`: the block size, or what is left for the last one.
long BlockLength(const BlockPlan& plan, long size, int index);

// What one read of a transfer means.
enum class ReadVerdict {
  Good,   // a whole piece, or exactly what is still missing
  Empty,  // nothing arrived
  Short,  // anything else: the reply is not the data we asked for
};
ReadVerdict ClassifyRead(long count, long remaining);

// Adds `delta` to `value` and keeps the result within [0, limit].
long ClampedAdd(long value, long delta, long limit);

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
