// The test side of the publisher that ctest starts for tests marked with
// tarvolin_uses_publisher(): where it is, how to put files on it, how to make
// it misbehave, and what it was asked. Control calls go over WinINet, like the
// program's own traffic, but with caching off and no proxy.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tarvolin::testing {

// "http://127.0.0.1:<port>" of the fault-injecting publisher; empty when the
// test was not started by ctest with the publisher fixture.
std::wstring PublisherUrl();
// nginx serving the same document root, without faults.
std::wstring NginxUrl();

// A failure that names the missing variable, for ASSERT_TRUE(PublisherAvailable()):
// tests that need the servers fail, never skip, when they are not there.
::testing::AssertionResult PublisherAvailable();

// Paths are URL paths ("/a/b.bin", leading slash optional), UTF-8.
bool PutPublishedFile(const std::string& path, const std::string& bytes);
bool DeletePublishedFile(const std::string& path);
// json: {"path", "fault": "404"|"ignore_range"|"drop_after"|"stall"|"wrong_length"|
// "no_length"|"rate"|"refuse_head"|"wrong_range"|"corrupt", "bytes", "seconds", "rate", "times"}.
// False when refused.
bool SetFault(const std::string& json);
// json: {"path", "status", "body"}: the answer to POST requests for that path.
bool SetPostReply(const std::string& json);
// Signs a published list into <path>.sig with the publisher's named test key
// ("test" is the key the signed test book carries, any other name another key).
bool SignPublishedList(const std::string& path, const std::string& key_name);
// Gives the file elements of a published list the sha256 of their files under
// the published folder `release`, with the publisher's signing tool.
bool FillPublishedDigests(const std::string& list, const std::string& release);
// Adds patches from the published folder `old_release` to `new_release` to a
// published list, with the publisher's patch tool (sha256 attributes included).
bool AddPublishedPatches(const std::string& list, const std::string& old_release, const std::string& new_release);
// Clears faults, POST replies and the request log; published files stay.
bool ResetPublisher();
std::string PublisherLogJson();

// One request the publisher served (control requests are not logged).
struct PublisherRequest {
  std::string method;
  std::string path;        // with the query, as sent
  std::string range;       // the Range header, empty without one
  std::string user_agent;
  int status = 0;
  std::string body;        // POST only
  std::vector<std::string> faults;  // the fault kinds applied to it
  long long sent = 0;      // body bytes written so far (grows while a reply goes out)
  long long length = -1;   // body length the head announced; -1 when none
  long long connection = 0;  // serial of the TCP connection that carried it
  // The whole announced body went out: the client read it to its end or the
  // socket took it; either way nothing was left for the client to throw away.
  bool complete() const { return length >= 0 && sent == length; }
};
// The log in request order; empty when it cannot be read or parsed.
std::vector<PublisherRequest> PublisherLog();

// Text as a JSON string literal with quotes, for building control requests.
std::string JsonQuote(const std::string& text);

// One HTTP exchange against either server, for tests of the servers themselves.
struct HttpExchangeOptions {
  std::wstring method = L"GET";
  std::wstring extra_headers;  // "Name: value\r\n" lines
  std::string body;
  std::wstring user_agent = L"TarvolinTest";
  DWORD receive_timeout_ms = 0;   // 0 keeps WinINet's default
  std::size_t stop_after_bytes = 0;  // stop reading once this much arrived (0: read to the end)
  // Each read waits until it has this many bytes or the end (0: 64 KiB); keep it
  // small to see the bytes before a stall or under a rate limit.
  DWORD read_piece_bytes = 0;
};
struct HttpExchangeResult {
  bool sent = false;        // the request went out and a status line came back
  DWORD send_error = 0;
  int status = 0;
  std::string raw_headers;  // CRLF-separated, as WinINet reports them
  std::string body;
  bool body_ended = false;  // a read reported the end of the body
  DWORD read_error = 0;     // the error that ended reading, if any
};
HttpExchangeResult HttpExchange(const std::wstring& base_url, const std::string& path,
                                const HttpExchangeOptions& options = {});
// A response header's value by case-insensitive name.
std::optional<std::string> HeaderValue(const HttpExchangeResult& result, const std::string& name);

}  // namespace tarvolin::testing
